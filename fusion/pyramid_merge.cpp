// The second half of a Pyramid Focus run: the second pass over the series merges every picture's
// colour coefficients as the first pass chose them; the pyramid is then collapsed and the result
// written by rows of blocks, each value kept within the range the covering pictures show.
#include "fusion/pyramid_run.h"

#include "engine/preview_rows.h"
#include "fusion/expand_band.h"

#include "base/numbers.h"
#include "base/runtime_error.h"
#include "fusion/brightness_evening.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace orv::pyramid {

void PyramidFocus::prepareMerge() {
    blends.assign(levels, 0);
    for (int l = 0; l < T; ++l) {
        blends[std::size_t(l)] = cv::countNonZero(blend[std::size_t(l)]) > 0;
        if (l >= kBlendLevels) count[std::size_t(l)].release();
    }
    fused.resize(levels);
    if (eightBitPass) {
        for (int l = 0; l < T; ++l) fused[std::size_t(l)] = cv::Mat(sizes[std::size_t(l)], CV_16SC3, cv::Scalar::all(0));
        topSum = cv::Mat(top, CV_32SC3, cv::Scalar::all(0));
        if (!full) {
            topCount = cv::Mat(top, CV_32SC1, cv::Scalar(0));
            allSum = cv::Mat(top, CV_32SC3, cv::Scalar::all(0));
        }
        // The montage slot, written only at the end, may hold the lowest values meanwhile: each
        // pixel's is read just before the pixel is written.
        if (o.rangeInMontage && W > 0 && H > 0) {
            lowest = cv::Mat(sizes[0], CV_8UC3, slot.data(), std::size_t(MW) * 3);
            lowest.setTo(cv::Scalar::all(255));
        } else {
            lowest = cv::Mat(sizes[0], CV_8UC3, cv::Scalar::all(255));
        }
        highest = cv::Mat(sizes[0], CV_8UC3, cv::Scalar::all(0));
        wait();
    }
    if (deep) {
        deepMerge.emplace(sizes, T, choice, blend, count, full, usedCount,
                          [this](std::size_t l, int n) { return takes[l][std::size_t(n)] || blends[l]; }, o.onWait,
                          [this](int n) { return takesTop[std::size_t(n)] != 0; }, topTakers);
        wait();
    }
}

// Second pass: every picture's colour coefficients where it was chosen, its share of the average
// where none was clearly stronger; the top level summed.
void PyramidFocus::merge() {
    // Level 1 is reduced straight from the 8-bit picture (the level-0 coefficients are then eight
    // times the picture minus the expansion), which spares a montage-sized copy.
    std::optional<Workspace> workspace;
    cv::Mat copy, reduced;
    if (eightBitPass) {
        workspace.emplace(sizes, CV_16SC3, 1, false);
        reduced.create(sizes[1], CV_8UC3);
    }
    SourcePicture read;
    read.withCells = eightBitPass;
    for (const Placement& p : used) {
        source.read(p.picture, deep, read);
        if (eightBitPass && !read.cells) throw RuntimeError(5);
        const double k = gainOf(p.picture);
        if (deepMerge) {
            const DeepPicture& d = deepOf(read, p.picture);
            deepMerge->add(k != 1 ? pyramid::evenedDeep(d, k, evenDeepBuffer) : d, p);
        }
        if (eightBitPass) {
            cv::Mat picture = placedPicture(read.cells, sourceWidth, p, sizes[0], copy);
            if (k != 1) picture = pyramid::evenedPicture(picture, k, evenBuffer);
            // A picture far darker or brighter than the others would widen every pixel's range
            // towards black or white: where every picture covers every pixel, the others' serve.
            if (!full || takesTop[std::size_t(p.picture)]) gatherRange(p, picture);
            mergeColour(p, picture, *workspace, reduced);
            addTop(p, workspace->gauss[std::size_t(T)]);
        }
        progress();
    }
}

// The lowest and highest values picture p shows where it covers the montage.
void PyramidFocus::gatherRange(const Placement& p, const cv::Mat& picture) {
    forRows(p.cover[0], [&](int y, int x0, int x1) {
        const std::uint8_t* px = picture.ptr<std::uint8_t>(y);
        std::uint8_t* lo = lowest.ptr<std::uint8_t>(y);
        std::uint8_t* hi = highest.ptr<std::uint8_t>(y);
        for (int i = 3 * x0; i < 3 * x1; ++i) {
            lo[i] = std::min(lo[i], px[i]);
            hi[i] = std::max(hi[i], px[i]);
        }
    });
}

// Picture p's colour pyramid, built in `work` from its level 1 up, merged into every level that
// takes anything from it.
void PyramidFocus::mergeColour(const Placement& p, const cv::Mat& picture, Workspace& work, cv::Mat& reduced) {
    cv::pyrDown(picture, reduced, sizes[1]);
    reduced.convertTo(work.gauss[1], CV_16S, 1 << kScaleBits);
    const auto n = ChoiceValue(p.picture);
    for (int l = 0; l < T; ++l) {
        const std::size_t i = std::size_t(l);
        if (l > 0) cv::pyrDown(work.gauss[i], work.gauss[i + 1], sizes[i + 1]);
        if (!takes[i][n] && !blends[i]) continue;
        mergeLevel(p, l, picture, work);
    }
}

// Picture p's coefficients on level l copied where it was chosen, its rounded share added where
// the average is taken.
void PyramidFocus::mergeLevel(const Placement& p, int l, const cv::Mat& picture, Workspace& work) {
    const std::size_t i = std::size_t(l);
    const auto n = ChoiceValue(p.picture);
    const cv::Mat& v = choice[i];
    const cv::Mat& m = blend[i];
    const cv::Mat& seen = count[i];
    cv::Mat& f = fused[i];
    // Where every picture covers every pixel, a picture left out of the top level (far darker or
    // brighter than the others) takes no share of the average either: it has no detail there.
    const bool shares = !full || takesTop[std::size_t(p.picture)];
    const int everyone = full ? topTakers : usedCount;
    // The expansion of the level above comes by bands of rows (row `first` of the whole at row 0
    // of `expanded`).
    cv::Mat expanded;
    int first = 0;
    const auto body = [&](int y, int x0, int x1) {
        const ChoiceValue* vr = v.ptr<ChoiceValue>(y);
        const std::uint8_t* mr = m.ptr<std::uint8_t>(y);
        const CountValue* nr = seen.empty() ? nullptr : seen.ptr<CountValue>(y);
        const std::int16_t* up = expanded.ptr<std::int16_t>(y - first);
        const std::uint8_t* px = l == 0 ? picture.ptr<std::uint8_t>(y) : nullptr;
        const std::int16_t* gl = l == 0 ? nullptr : work.gauss[i].ptr<std::int16_t>(y);
        std::int16_t* fr = f.ptr<std::int16_t>(y);
        for (int x = x0; x < x1; ++x) {
            if (vr[x] != n && !mr[x]) continue;
            if (mr[x] && !shares) continue;
            for (int c = 3 * x; c < 3 * x + 3; ++c) {
                const int coefficient = px ? (px[c] << kScaleBits) - up[c] : gl[c] - up[c];
                if (!mr[x]) {
                    fr[c] = std::int16_t(coefficient);
                } else {
                    // This picture's share of the average, rounded: the sum of the shares never
                    // leaves the coefficients' range.
                    const int k = nr ? int(nr[x]) : everyone;
                    fr[c] = std::int16_t(fr[c] + (coefficient >= 0 ? coefficient + k / 2 : coefficient - k / 2) / k);
                }
            }
        }
    };
    for (int y0 = 0; y0 < sizes[i].height; y0 += kExpansionBand) {
        const int y1 = std::min(sizes[i].height, y0 + kExpansionBand);
        if (y1 <= p.cover[i].y0 || y0 >= p.cover[i].y1()) continue;
        first = expandBand(work.gauss[i + 1], sizes[i], y0, y1, work.bandBuffer, expanded);
        forRowsIn(p.cover[i], y0, y1, body);
    }
}

// Picture p's top level into the sums, when it takes part in the top level: over the pictures that
// reach each pixel, and (where not every picture reaches every pixel) over all.
void PyramidFocus::addTop(const Placement& p, const cv::Mat& level) {
    if (!takesTop[std::size_t(p.picture)]) return;
    const CoverArea& r = p.cover[std::size_t(T)];
    for (int y = 0; y < top.height; ++y) {
        const std::int16_t* gl = level.ptr<std::int16_t>(y);
        std::int32_t* s = topSum.ptr<std::int32_t>(y);
        for (int x = 0; x < top.width; ++x) {
            if (!full) {
                std::int32_t* a = allSum.ptr<std::int32_t>(y);
                for (int c = 3 * x; c < 3 * x + 3; ++c) a[c] += gl[c];
                if (!r.contains(x, y)) continue;
                ++topCount.ptr<std::int32_t>(y)[x];
            }
            for (int c = 3 * x; c < 3 * x + 3; ++c) s[c] += gl[c];
        }
    }
}

// The ranges widened to each pixel's 3 x 3 neighbourhood, the deep montage made, and the maps only
// the merge reads given back.
void PyramidFocus::finishMerge(PyramidFocusResult& result) {
    if (eightBitPass) {
        const cv::Mat square = cv::getStructuringElement(cv::MORPH_RECT, cv::Size(3, 3));
        cv::erode(lowest, lowest, square, cv::Point(-1, -1), 1, cv::BORDER_REPLICATE);
        cv::dilate(highest, highest, square, cv::Point(-1, -1), 1, cv::BORDER_REPLICATE);
        wait();
    }
    if (deepMerge) {
        result.deep = deepMerge->finish(o.onWait);
        deepMerge.reset();
        wait();
    }
    blend.clear();
    count.clear();
}

// The top level: the average over the pictures that take part in it and reach it (over all of
// those where none does, so the uncovered parts do not darken their surroundings). Then the collapse down to level
// 1; its expansion and level 0 are added while the result is written, the expansion by bands of
// rows (no montage-sized buffer holds it).
void PyramidFocus::collapse() {
    collapsed = cv::Mat(top, CV_16SC3, cv::Scalar::all(0));
    for (int y = 0; y < top.height && usedCount > 0 && eightBitPass; ++y) {
        std::int16_t* out = collapsed.ptr<std::int16_t>(y);
        for (int x = 0; x < top.width; ++x) {
            int k = topTakers;
            const std::int32_t* s = topSum.ptr<std::int32_t>(y);
            if (!full) {
                k = topCount.ptr<std::int32_t>(y)[x];
                if (k == 0) {
                    s = allSum.ptr<std::int32_t>(y);
                    k = topTakers;
                }
            }
            for (int c = 3 * x; c < 3 * x + 3; ++c)
                out[c] = std::int16_t(std::clamp((s[c] + k / 2) / k, -32768, 32767));
        }
    }
    topSum.release();
    allSum.release();
    topCount.release();

    if (eightBitPass) {
        cv::Mat expanded;
        for (int l = T - 1; l >= 1; --l) {
            cv::pyrUp(collapsed, expanded, sizes[std::size_t(l)]);
            cv::add(fused[std::size_t(l)], expanded, collapsed, cv::noArray(), CV_16S);
            fused[std::size_t(l)].release();
            wait();
        }
    } else {
        collapsed.release();
    }
}

// The result by rows of blocks, bottom row first, with the map and the preview in step.
void PyramidFocus::write(PyramidFocusResult& result) {
    cv::Mat expandedBuffer, expanded;
    int expandedFirst = 0, expandedEnd = 0; // the montage rows the band holds
    const cv::Mat& finest = choice[0];
    PreviewRows preview(mp, o.drawPreview);
    for (int r = 0; r < blockRows; ++r) {
        const int y = r * inc;
        const int yEnd = std::min(H, y + inc);
        if (y < yEnd && !eightBitPass) {
            writeEightBitView(*result.deep, y, yEnd);
        } else if (y < yEnd) {
            if (yEnd > expandedEnd) {
                expandedEnd = std::min(H, y + std::max(inc, kExpansionBand));
                expandedFirst = expandBand(collapsed, sizes[0], y, expandedEnd, expandedBuffer, expanded);
            }
            writeLimited(expanded, expandedFirst, y, yEnd);
        }
        const std::string line = blockMapLine(finest.ptr<ChoiceValue>(), W, H, y, inc, blockColumns);
        result.map.insert(0, line + "\r\n");
        const auto [drawnFrom, drawnTo] = preview.draw(y, inc, true);
        if (o.onRow) o.onRow(BlockRowEvent{y, r, blockRows, &result.map, drawnFrom <= drawnTo, drawnFrom, drawnTo});
    }
}

// Montage rows y to yEnd - 1 as the deep montage's 8-bit view (its rows from the top, red first).
void PyramidFocus::writeEightBitView(const DeepPicture& d, int y, int yEnd) {
    cv::parallel_for_(cv::Range(y, yEnd), [&](const cv::Range& band) {
        for (int yy = band.start; yy < band.end; ++yy) {
            const std::uint16_t* from = d.row(H - 1 - yy);
            std::uint8_t* m = slot.data() + std::size_t(yy) * MW * 3;
            for (int x = 0; x < W; ++x)
                for (int c = 0; c < 3; ++c) m[3 * x + c] = eightBitsOf(from[3 * x + 2 - c]);
        }
    });
}

// Montage rows y to yEnd - 1: level 0 plus the expansion of the collapsed level 1 (montage row
// `expandedFirst` at row 0 of `expanded`), each value kept within the range the covering pictures
// show around its pixel.
void PyramidFocus::writeLimited(const cv::Mat& expanded, int expandedFirst, int y, int yEnd) {
    const cv::Mat& finest = choice[0];
    cv::parallel_for_(cv::Range(y, yEnd), [&](const cv::Range& band) {
        for (int yy = band.start; yy < band.end; ++yy) {
            const std::int16_t* f = fused[0].ptr<std::int16_t>(yy);
            const std::int16_t* up = expanded.ptr<std::int16_t>(yy - expandedFirst);
            const ChoiceValue* v = finest.ptr<ChoiceValue>(yy);
            const std::uint8_t* lo = lowest.ptr<std::uint8_t>(yy);
            const std::uint8_t* hi = highest.ptr<std::uint8_t>(yy);
            std::uint8_t* m = slot.data() + std::size_t(yy) * MW * 3;
            for (int x = 0; x < W; ++x) {
                if (v[x] == 0) { // no picture reaches it: black
                    m[3 * x] = m[3 * x + 1] = m[3 * x + 2] = 0;
                    continue;
                }
                for (int c = 3 * x; c < 3 * x + 3; ++c) {
                    const int low = lo[c]; // `lo` may be `m` itself
                    m[c] = std::uint8_t(std::min(std::max((f[c] + up[c] + 4) >> kScaleBits, low), int(hi[c])));
                }
            }
        }
    });
}

// The finest level's choice per pixel, for a depth map.
void PyramidFocus::keepChoices(PyramidFocusResult& result) const {
    const cv::Mat& finest = choice[0];
    PictureChoices& c = result.choices;
    c.width = c.columns = W;
    c.height = c.rows = H;
    c.cell = 1;
    c.pictures.assign(std::size_t(W) * std::size_t(H), 0);
    for (int y = 0; y < H; ++y)
        std::memcpy(c.pictures.data() + std::size_t(y) * W, finest.ptr<ChoiceValue>(y), std::size_t(W) * sizeof(ChoiceValue));
}

} // namespace orv::pyramid
