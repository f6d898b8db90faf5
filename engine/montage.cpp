// The display areas and the block loop of Make Montage.
#include "engine/montage.h"

#include "base/error_sites.h"
#include "engine/preview_rows.h"

#include "base/numbers.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <cstring>
#include <exception>
#include <thread>
#include <vector>

namespace orv {

AreaOutcome applyDisplayArea(MontageGeometry& g, OffsetTable& offsets, const AreaInput& in) {
    if (!in.useOffsets) {
        offsets.fill(ImageOffset{});
        g.shiftX = g.shiftY = g.dY = 0;
        return AreaOutcome::Ready;
    }
    try {
        // With no picture in use the extents keep their starting values (999 and 0), which leave
        // the maximum area empty. Otherwise they are the targets' own: starting from 999 and 0
        // would make 999 the smallest x of pictures whose targets all lie further right (a large
        // picture's centre), shifting every picture by the difference, and 0 the largest of
        // targets that all lie left of or above the picture.
        g.smallestX = 999;
        g.largestX = 0;
        g.smallestY = 999;
        g.largestY = 0;
        bool first = true;
        for (int n = 1; n <= in.pictureCount; ++n) {
            if (isIgnored(in.ignored, n)) continue;
            // The table holds pictures 1 to 30; a longer series' later pictures have no target.
            const ImageOffset t = std::size_t(n) < offsets.size() ? offsets[std::size_t(n)] : ImageOffset{};
            if (first) {
                g.smallestX = g.largestX = t.x;
                g.smallestY = g.largestY = t.y;
                first = false;
            }
            if (t.x < g.smallestX) g.smallestX = t.x;
            if (t.x > g.largestX) g.largestX = t.x;
            if (t.y < g.smallestY) g.smallestY = t.y;
            if (t.y > g.largestY) g.largestY = t.y;
        }
    } catch (RuntimeError& e) {
        throw e.atLine(kLineOffsetExtents);
    }
    try {
        const bool unchanged = g.W == float(in.pictureWidth) && g.H == float(in.pictureHeight) &&
                               in.evaluationMode < 2;
        const int spreadX = sub16(g.largestX, g.smallestX);
        const int spreadY = sub16(g.largestY, g.smallestY);
        switch (in.area) {
        case DisplayArea::Same: {
            // Picture k is read from block column x + (its target x - the smallest): the last
            // block column plus the spread must still be a 16-bit position. (The Minimum area
            // narrows the montage by the spread and the Maximum area shifts the other way.)
            const int lastX = roundToInt32(double(g.W) - 1);
            const int lastBlockX = in.increment > 0 && lastX > 0 ? lastX / in.increment * in.increment : lastX;
            if (lastBlockX > 0) add16(lastBlockX, spreadX);
            g.shiftX = g.smallestX;
            g.shiftY = g.smallestY;
            g.dY = 0;
            return AreaOutcome::Ready;
        }
        case DisplayArea::Minimum:
            if (unchanged) {
                // Division truncated toward zero.
                g.W = float(toInt16((roundToInt16(g.W) - spreadX) / 4 * 4));
                g.H = float(toInt16((roundToInt16(g.H) - spreadY) / 4 * 4));
                if (g.W <= 0 || g.H <= 0) return AreaOutcome::MinimumEmpty;
            }
            g.shiftX = g.smallestX;
            g.shiftY = g.smallestY;
            g.dY = toInt16(spreadY);
            return AreaOutcome::Ready;
        case DisplayArea::Maximum:
            if (unchanged) {
                g.W = float(toInt16((roundToInt16(g.W) + spreadX + 3) / 4 * 4));
                g.H = float(toInt16((roundToInt16(g.H) + spreadY + 3) / 4 * 4));
                if (g.W <= 0 || g.H <= 0) return AreaOutcome::MaximumEmpty;
            }
            g.shiftX = g.largestX;
            g.shiftY = g.largestY;
            g.dY = toInt16(-spreadY);
            return AreaOutcome::Ready;
        }
    } catch (RuntimeError& e) {
        throw e.atLine(kLineDisplayArea);
    }
    return AreaOutcome::Ready;
}

int blockCount(float side, int increment) {
    if (increment <= 0) return 0;
    const double last = roundHalfEven(double(side) - 1);
    if (last < 0) return 0;
    return int(last) / increment + 1;
}

namespace {

// The focus measure's messages of one row, each with the block and picture it came from, so they
// can be put in the order a block-by-block walk would give them.
class KeyedMessages {
public:
    // Tags what the measure has just recorded with its block and picture.
    void take(int block, int picture) {
        for (Prompt& p : fresh) held_.push_back({block, picture, std::move(p)});
        fresh.clear();
    }
    void moveTo(MessageList* to) {
        std::stable_sort(held_.begin(), held_.end(), [](const Held& a, const Held& b) {
            return a.block != b.block ? a.block < b.block : a.picture < b.picture;
        });
        if (to)
            for (Held& h : held_) to->push_back(std::move(h.prompt));
        held_.clear();
    }
    MessageList fresh; // where the measure records

private:
    struct Held {
        int block, picture;
        Prompt prompt;
    };
    std::vector<Held> held_;
};

// One row of blocks: every block taken from its sharpest picture into montage slot 100. Returns
// the row's map line. Rows touch disjoint montage rows, so rows may run on different threads.
// The row is measured picture by picture (each picture's rows are then read left to right, which
// the memory system follows far better than hopping between pictures block by block); the
// choice per block is the same as measuring block by block.
std::string blockRow(PixelArrays& mp, FocusMeasure& fm, const FocusContext& focusIn,
                     const BlockLoopInput& in, int y) {
    const MontageGeometry& g = *in.geometry;
    const int inc = in.increment;
    const int lastX = roundToInt32(double(g.W) - 1);
    const int SW = mp.stack.width(), SH = mp.stack.height();
    const int MW = mp.montage.width(), MH = mp.montage.height();
    std::uint8_t* montage = mp.montage.slot(100).data();
    if (lastX > INT16_MAX) throw RuntimeError(6).atLine(kLineLastColumn);
    const int blocks = lastX < 0 ? 0 : lastX / inc + 1;
    const int N = in.pictureCount;

    struct Measured {
        float score;
        std::int16_t x, y;
    };
    std::vector<Measured> measured(std::size_t(blocks) * std::size_t(N > 0 ? N : 0));
    FocusContext focus = focusIn;
    KeyedMessages messages;
    focus.messages = focusIn.messages ? &messages.fresh : nullptr;
    try {
        const int measuredY = add16(y, g.dY);
        for (int n = 1; n <= N; ++n) {
            for (int b = 0; b < blocks; ++b) {
                Measured& m = measured[std::size_t(b) * N + std::size_t(n - 1)];
                m.x = m.y = 0;
                m.score = fm.gotFocusMeasure(mp, focus, b * inc, measuredY, inc, g.shiftX,
                                             g.shiftY, m.x, m.y, n, n);
                if (!messages.fresh.empty()) messages.take(b, n);
            }
        }
    } catch (RuntimeError& e) {
        messages.moveTo(focusIn.messages);
        throw e.atLine(kLineBlockLoop);
    }
    messages.moveTo(focusIn.messages);

    std::string line;
    line.reserve(std::size_t(blocks));
    for (int b = 0; b < blocks; ++b) {
        const int x = b * inc;
        float best = -99999.0f;
        int bestPicture = 1;
        std::int16_t bestX = 0, bestY = 0;
        bool havePosition = false;
        for (int n = 1; n <= N; ++n) {
            const Measured& m = measured[std::size_t(b) * N + std::size_t(n - 1)];
            if (m.score > best) { // equal scores keep the lower picture
                best = m.score;
                bestPicture = n;
                bestX = m.x;
                bestY = m.y;
                havePosition = !isIgnored(focus.ignored, n);
            }
        }
        // The copy: a block that no picture could supply, with picture 1 ignored, has no
        // position and stays black.
        if (havePosition) {
            const int ddx = bestX - x;
            const int ddy = bestY - y;
            const std::uint8_t* src = mp.stack.pictures[std::size_t(bestPicture - 1)].data();
            const int mx0 = std::max(x, -ddx), mx1 = std::min({x + inc - 1, SW - 1 - ddx, MW - 1});
            if (mx1 >= mx0) {
                for (int my = y; my <= y + inc - 1 && my <= MH - 1; ++my) {
                    const int sy = my + ddy;
                    if (sy < 0 || sy > SH - 1) continue;
                    std::memcpy(montage + 3 * (std::size_t(my) * MW + mx0),
                                src + 3 * (std::size_t(sy) * SW + mx0 + ddx),
                                std::size_t(mx1 - mx0 + 1) * 3);
                }
            }
        }
        line.push_back(mapCharacter(bestPicture));
    }
    return line;
}

// Rows of blocks computed ahead on worker threads, each with its own sample store, and handed to
// the calling thread strictly in row order: messages, errors, the map, the preview and the
// per-row callback come out as a row-by-row walk would give them.
class RowPipeline {
public:
    RowPipeline(PixelArrays& mp, const BlockLoopInput& in, int threads, int rows)
        : mp_(mp), in_(in), rows_(rows), lines_(static_cast<std::size_t>(rows)),
          errors_(static_cast<std::size_t>(rows)), messages_(static_cast<std::size_t>(rows)),
          done_(static_cast<std::size_t>(rows), 0) {
        for (int t = 0; t < threads; ++t) pool_.emplace_back([this] { work(); });
    }
    ~RowPipeline() { stop(); }

    // Waits for row r, hands on its messages and raises its error; returns its map line.
    std::string take(int r) {
        {
            std::unique_lock<std::mutex> lock(m_);
            cv_.wait(lock, [&] { return done_[std::size_t(r)] != 0; });
        }
        if (MessageList* to = in_.focus->messages)
            for (Prompt& p : messages_[std::size_t(r)]) to->push_back(std::move(p));
        if (errors_[std::size_t(r)]) {
            stop();
            std::rethrow_exception(errors_[std::size_t(r)]);
        }
        return std::move(lines_[std::size_t(r)]);
    }

    void stop() {
        abort_ = true;
        for (auto& t : pool_)
            if (t.joinable()) t.join();
    }

private:
    void work() {
        FocusMeasure fm;
        fm.allocate(in_.increment);
        FocusContext focus = *in_.focus;
        for (int r = next_++; r < rows_ && !abort_; r = next_++) {
            focus.messages = in_.focus->messages ? &messages_[std::size_t(r)] : nullptr;
            try {
                lines_[std::size_t(r)] = blockRow(mp_, fm, focus, in_, r * in_.increment);
            } catch (...) {
                errors_[std::size_t(r)] = std::current_exception();
            }
            {
                std::lock_guard<std::mutex> lock(m_);
                done_[std::size_t(r)] = 1;
            }
            cv_.notify_all();
        }
    }

    PixelArrays& mp_;
    const BlockLoopInput& in_;
    const int rows_;
    std::vector<std::string> lines_;
    std::vector<std::exception_ptr> errors_;
    std::vector<MessageList> messages_; // each row's messages, recorded on its worker thread
    std::vector<char> done_;
    std::atomic<int> next_{0};
    std::atomic<bool> abort_{false};
    std::mutex m_;
    std::condition_variable cv_;
    std::vector<std::thread> pool_;
};

} // namespace

std::string runBlockLoop(PixelArrays& mp, FocusMeasure& fm, const BlockLoopInput& in) {
    const MontageGeometry& g = *in.geometry;
    const int inc = in.increment;
    if (inc <= 0) throw RuntimeError(5);
    fm.allocate(inc);

    std::string map;
    const int lastY = roundToInt32(double(g.H) - 1);
    const int rows = blockCount(g.H, inc);

    PreviewRows preview(mp, in.drawPreview);

    // The rows may be computed ahead on other cores. With a preview, a row's preview lines may
    // reach into the next block row, which a row-by-row walk still finds as it was before the
    // loop; that is known only when the montage started black, as Make Montage leaves it.
    const auto& slot = mp.montage.slot(100);
    const bool startedBlack =
        !preview.active() || std::all_of(slot.begin(), slot.end(), [](std::uint8_t v) { return v == 0; });
    std::unique_ptr<RowPipeline> pipeline;
    if (in.threads > 1 && rows > 1 && startedBlack)
        pipeline = std::make_unique<RowPipeline>(mp, in, std::min(in.threads, rows), rows);

    int rowIndex = 0;
    for (int y = 0; y <= lastY; y += inc) {
        if (y > INT16_MAX) throw RuntimeError(6).atLine(kLinePreviewRows);
        const std::string line =
            pipeline ? pipeline->take(rowIndex) : blockRow(mp, fm, *in.focus, in, y);
        map.insert(0, line + "\r\n");

        // Rows computed ahead of this one are not in the montage yet.
        const auto [drawnFrom, drawnTo] = preview.draw(y, inc, pipeline != nullptr);
        const bool previewChanged = drawnFrom <= drawnTo;
        if (in.onRow) in.onRow(BlockRowEvent{y, rowIndex, rows, &map, previewChanged, drawnFrom, drawnTo});
        ++rowIndex;
    }
    return map;
}

} // namespace orv
