// A numbered series read file by file whenever a picture is asked for: the source Pyramid Focus and
// the alignment read in a batch run. A long series is never held whole; a short one may be kept
// as it is read, so that the later passes take it from memory. Each picture comes out as the series
// loader and the alignment would have left it in the stack.
#pragma once

#include "align/align_series.h"
#include "engine/focus_method.h"
#include "engine/series_source.h"
#include "input/memory_budget.h"
#include "input/series_naming.h"

#include <array>
#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace orv {

// What a look at the series' files found, before any picture is decoded.
struct SeriesScan {
    int count = 0;                   // pictures 1 to count exist and have a readable header
    std::vector<std::array<int, 2>> sizes; // their sizes, picture n at n - 1
    std::string currentFileName;     // the name last looked at
    bool invalidPicture = false;     // file count + 1 exists but is not a picture it can read
    int failure = 0;                 // 6: not even the first file's number fits 16 bits
    bool deep = false;               // some picture has 16 bits per sample, and every one is a TIFF or PNG
    int orientation = 1;             // picture 1's camera orientation tag: every picture is turned upright by it
};

// Looks at files 1, 2, ... of the series, headers only, until one is missing (a gap ends the
// series), cannot be read, or `limit` have been found. `onPicture(k)` after each.
SeriesScan scanSeries(const SeriesName& series, int limit, const std::function<void(int k)>& onPicture = {});

class StreamedSeries : public SeriesSource {
public:
    StreamedSeries(SeriesName series, const SeriesScan& scan);
    ~StreamedSeries() override;
    StreamedSeries(const StreamedSeries&) = delete;
    StreamedSeries& operator=(const StreamedSeries&) = delete;

    // Decode the next picture (or the one announced by willRead) on another thread while one is
    // worked on: for one reader at a time (Pyramid Focus's passes, not the alignment's two sides).
    void setReadAhead(bool on) { readAhead_ = on; }
    // Pictures the reader passes over (ignored ones): the picture read ahead is the next one after
    // them, so that none of them is decoded for nothing, nor refused for a fault it has.
    void setPassedOver(const IgnoreTicks& pictures) { passedOver_ = pictures; }
    // Whether the montage is made already while pictures are read (Pyramid Focus's passes): a
    // picture's memory check then leaves out the room kept for the montage.
    void setMontageMade(bool made) { montageRoom_ = made ? MontageRoom::Made : MontageRoom::StillToCome; }

    // Keeps every picture once decoded (and aligned), for the passes after the first, when the
    // whole series takes at most `bytes` (its cells, and its samples at 16 bits for a deep series);
    // a longer series is read from its files on every pass, as before. Returns whether it keeps.
    // Kept pictures are handed out in place: the same bytes a new read of the file gives.
    bool keepWithin(std::uint64_t bytes);
    // What keeping the whole series would take.
    std::uint64_t seriesBytes() const;
    // Frees the kept pictures; the series is read from its files from now on.
    void dropKept() { keepWithin(0); }

    // From now on the pictures are put onto the plan's reference frame as they are read (a kept
    // picture as it is next asked for, without its file being read again); the colour fits are
    // written into the plan's report.
    void align(std::shared_ptr<AlignmentPlan> plan) { plan_ = std::move(plan); }
    const AlignmentPlan* plan() const { return plan_.get(); }

    int count() const override { return count_; }
    int width() const override { return W_; }
    int height() const override { return H_; }
    int pictureWidth(int n) const override;
    int pictureHeight(int n) const override;
    // A 16-bit series gives its full-depth pictures (not yet once aligned).
    bool hasDeep() const override { return deep_; }
    // Decodes file n (raises RuntimeError 481 when it cannot, with its name in failedFile(); 7 when
    // memory runs out). With read-ahead, the next picture is decoded meanwhile for the same reader.
    void read(int n, bool deep, SourcePicture& into) override;
    void willRead(int n, bool withCells) override;

    // The file that could not be decoded, after a read raised 481.
    std::string failedFile() const;

private:
    struct Decoded {
        std::vector<std::uint8_t> cells;
        std::vector<std::uint8_t> spare;
        DeepPicture deep;
        bool aligned = false; // put onto the plan's frame
    };
    void decode(int n, bool withCells, Decoded& into);
    void readFile(int n, bool withCells, Decoded& into);
    // Records file n as the one that could not be read and raises RuntimeError 481.
    [[noreturn]] void refuse(int n);
    // Points `into` at the cells (and, when asked, the deep picture) of `d`.
    void handOut(const Decoded& d, bool deep, SourcePicture& into) const;
    // The picture read after picture n: the next one not passed over (count_ + 1: none).
    int nextAfter(int n) const;
    // Under lock_: the kept picture n that answers a read now, or null.
    const Decoded* keptFor(int n, bool withCells) const;
    // Picture n as kept before the series was aligned, taken out to be aligned; null when none.
    std::unique_ptr<Decoded> takeUnaligned(int n);

    SeriesName series_;
    int count_ = 0;
    int W_ = 0, H_ = 0;
    std::vector<std::array<int, 2>> sizes_;
    bool deep_ = false;
    int orientation_ = 1; // every picture is turned upright by picture 1's tag
    bool readAhead_ = false;
    IgnoreTicks passedOver_{};
    MontageRoom montageRoom_ = MontageRoom::StillToCome;
    std::shared_ptr<AlignmentPlan> plan_;
    mutable std::mutex lock_;
    std::string failed_;
    bool keep_ = false;
    std::vector<std::unique_ptr<Decoded>> kept_; // picture n at n - 1; guarded by lock_
    // The picture decoded ahead.
    int aheadPicture_ = 0;
    bool aheadWithCells_ = true;
    std::future<std::unique_ptr<Decoded>> ahead_;
};

} // namespace orv
