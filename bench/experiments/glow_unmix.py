#!/usr/bin/python3
# Could the glow of a blurred near object be taken out of the far picture? An experiment on the
# halo scene of make-sample-series, not part of bench/run: it needs python3-numpy, python3-scipy
# and python3-pil (Debian packages), which the build does not.
#
# The halo scene's far picture (the last) is F under a near layer of coverage a and colour C
# blurred by a pillbox P of 40 px: I = P(aC) + (1 - P(a)) F. Given a and C, the far plane is
# F = (I - P(aC)) / (1 - P(a)); the montage keeps its own pixels wherever a is above 0 and takes F
# elsewhere within the glow's reach. The experiment prints the montage's PSNR against the truth
# for the coverage known exactly (the scene's geometry, mirrored from the generator) and for the
# coverage estimated from the pictures (where the first picture has the strongest edges by a
# margin, closed, small holes filled, eroded by 0 to 3 px). The blur's diameter is given, not
# estimated, which favours the experiment.
#
#   bench/experiments/glow_unmix.py SERIES_DIR MONTAGE DEPTH_MAP
#   (series from make-sample-series DIR --scene halo --count 10 --size 1024x768; montage and
#   depth map from orvanta-cli -m pyramid -o MONTAGE --depth-map DEPTH_MAP DIR/sample01.bmp)
import sys

import numpy as np
from PIL import Image
from scipy import ndimage as ndi


def load(path):
    return np.asarray(Image.open(path).convert("RGB"), dtype=np.float64)


def psnr(a, b):
    return 10 * np.log10(255**2 / np.mean((np.clip(np.round(a), 0, 255) - b) ** 2))


def pillbox(x, diameter):
    """Spread by a pillbox, normalised over the pixels inside the picture (as the generator does)."""
    r = diameter / 2
    R = int(r)
    yy, xx = np.mgrid[-R : R + 1, -R : R + 1]
    k = ((xx**2 + yy**2) <= r * r).astype(float)
    den = ndi.convolve(np.ones(x.shape[:2]), k, mode="constant")
    if x.ndim == 2:
        return ndi.convolve(x, k, mode="constant") / den
    return np.stack([ndi.convolve(x[..., c], k, mode="constant") / den for c in range(x.shape[2])], -1)


def exact_coverage(H, W):
    """The near layer's coverage: discs of radius 10 every 96 px and 4-px lines, anti-aliased."""
    yy, xx = np.mgrid[0:H, 0:W].astype(float)
    dist = np.full((H, W), 1e9)
    for cy in np.arange(48, H - 20, 96):
        for cx in np.arange(48, W - 20, 96):
            dist = np.minimum(dist, np.hypot(xx - cx, yy - cy) - 10)

    def box(x0, y0, x1, y1):
        dx = np.maximum(np.maximum(x0 - xx, 0), xx - x1)
        dy = np.maximum(np.maximum(y0 - yy, 0), yy - y1)
        out = np.hypot(dx, dy)
        inside = (dx == 0) & (dy == 0)
        out[inside] = -np.minimum(np.minimum(xx - x0, x1 - xx), np.minimum(yy - y0, y1 - yy))[inside]
        return out

    for y in (192, 480, 672):
        if y < H - 4:
            dist = np.minimum(dist, box(20, y - 1.5, W - 21, y + 1.5))
    for x in (288, 672):
        if x < W - 4:
            dist = np.minimum(dist, box(x - 1.5, 20, x + 1.5, H - 21))
    return np.clip(0.5 - dist, 0, 1)


def estimated_coverage(pictures):
    """Where the first picture's edges are the strongest by a factor of 2, closed, holes of fewer
    than 3000 px filled: the near objects' outlines and insides, a few px too wide."""
    def strength(p):
        return ndi.uniform_filter(np.abs(ndi.laplace(ndi.gaussian_filter(p.mean(-1), 0.7))), 3)

    E = np.stack([strength(p) for p in pictures])
    second = np.sort(E, 0)[-2]
    sharp = (E.argmax(0) == 0) & (E[0] > 2 * second) & (E[0] > 3)
    closed = ndi.binary_closing(sharp, iterations=2)
    holes = ndi.binary_fill_holes(closed) & ~closed
    labels, n = ndi.label(holes)
    sizes = ndi.sum(holes, labels, range(1, n + 1))
    return closed | np.isin(labels, 1 + np.nonzero(sizes < 3000)[0])


def unmixed(montage, far, a, diameter):
    Pa = pillbox(a, diameter)
    F = (far - pillbox(a[..., None] * montage, diameter)) / np.maximum(1 - Pa, 1e-3)[..., None]
    glow = (Pa > 0.001) & (a == 0)  # partly covered edge pixels keep the montage's
    return np.where(glow[..., None], F, montage)


def main():
    if len(sys.argv) != 4:
        sys.exit("usage: glow_unmix.py SERIES_DIR MONTAGE DEPTH_MAP")
    folder, montage_file = sys.argv[1], sys.argv[2]
    pictures = [load(f"{folder}/sample{k:02d}.bmp") for k in range(1, 11)]
    truth = load(f"{folder}/sample-truth.bmp")
    montage = load(montage_file)
    H, W = truth.shape[:2]
    print(f"montage as made: {psnr(montage, truth):.2f} dB")
    exact = exact_coverage(H, W)
    for d in (36, 40, 44):
        print(f"coverage known exactly, blur {d} px: {psnr(unmixed(montage, pictures[-1], exact, d), truth):.2f} dB")
    found = estimated_coverage(pictures)
    for erosion in range(4):
        a = (ndi.binary_erosion(found, iterations=erosion) if erosion else found).astype(float)
        wrong = int((a * (exact == 0)).sum())
        missed = int(((exact > 0.5) & (a == 0)).sum())
        score = psnr(unmixed(montage, pictures[-1], a, 40), truth)
        print(f"coverage estimated, eroded {erosion} px ({wrong} px too many, {missed} missed), blur 40 px: {score:.2f} dB")


main()
