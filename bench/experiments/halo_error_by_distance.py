#!/usr/bin/python3
# Where a montage of the halo scene loses against its truth: the share of the squared error and the
# PSNR by distance from the near objects' outline, beside the best a per-pixel choice among the
# pictures could do there (the picture closest to the truth at every pixel, which only an oracle
# knows). Not part of bench/run: it needs python3-numpy, python3-scipy and python3-pil.
#
#   bench/experiments/halo_error_by_distance.py SERIES_DIR MONTAGE
#   (series from make-sample-series DIR --scene halo --count 10 --size 1024x768; montage from
#   orvanta-cli -m pyramid -o MONTAGE DIR/sample01.bmp)
import sys

import numpy as np
from PIL import Image
from scipy import ndimage as ndi


def load(path):
    return np.asarray(Image.open(path).convert("RGB"), dtype=np.float64)


def psnr(squared):
    return 10 * np.log10(255**2 / squared.mean())


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__ or "usage: halo_error_by_distance.py SERIES_DIR MONTAGE")
    folder, montage = sys.argv[1], sys.argv[2]
    truth = load(f"{folder}/sample-truth.bmp")
    made = load(montage)
    pictures = []
    k = 1
    while True:
        try:
            pictures.append(load(f"{folder}/sample{k:02d}.bmp"))
        except FileNotFoundError:
            break
        k += 1
    luminance = lambda p: p.mean(axis=2)
    # The near objects: where the first picture (sharp on them) shows the truth and the last (sharp
    # behind them) does not.
    near = (np.abs(luminance(pictures[0]) - luminance(truth)) < 8) & (np.abs(luminance(pictures[-1]) - luminance(truth)) > 25)
    near = ndi.binary_opening(near, iterations=1)
    outside = ndi.distance_transform_edt(~near)
    error = ((made - truth) ** 2).mean(axis=2)
    oracle = np.stack([((p - truth) ** 2).mean(axis=2) for p in pictures]).min(axis=0)
    total = error.sum()
    print(f"{'where':<16} {'pixels':>7} {'error':>6} {'PSNR':>6} {'oracle':>6}")
    bands = [("inside", near)] + [
        (f"{lo}-{hi} px out" if hi < 1e9 else f"beyond {lo} px", ~near & (outside > lo) & (outside <= hi))
        for lo, hi in [(0, 2), (2, 5), (5, 10), (10, 15), (15, 20), (20, 30), (30, 1e9)]
    ]
    for name, m in bands:
        print(f"{name:<16} {m.mean():7.3f} {error[m].sum() / total:6.3f} {psnr(error[m]):6.2f} {psnr(oracle[m]):6.2f}")
    print(f"{'whole':<16} {1:7.3f} {1:6.3f} {psnr(error):6.2f} {psnr(oracle):6.2f}")


if __name__ == "__main__":
    main()
