// The streamed series: a look at the headers first, then every picture decoded when it is asked
// for, placed in cells of picture 1's rounded size as the stack's fill places it, and aligned.
#include "session/streamed_series.h"

#include "base/runtime_error.h"
#include "align/deep_warp.h"
#include "input/deep_reader.h"
#include "input/picture_file.h"
#include "output/picture_metadata.h"

#include <climits>
#include <system_error>

namespace orv {

namespace {

constexpr int kInvalidPicture = 481;

} // namespace

SeriesScan scanSeries(const SeriesName& series, int limit, const std::function<void(int)>& onPicture) {
    SeriesScan scan;
    bool sixteen = false, allDeepFiles = true;
    scan.orientation = readPictureOrientation(series.fileName(1));
    for (int k = 1; k <= limit; ++k) {
        scan.currentFileName = series.fileName(k);
        // A number past the 16-bit range cannot name a further file.
        if (series.offset + k > SHRT_MAX) {
            if (k == 1) scan.failure = 6;
            break;
        }
        int w = 0, h = 0;
        const DecodeStatus st = readPictureSize(scan.currentFileName, w, h, scan.orientation);
        if (st == DecodeStatus::Invalid) scan.invalidPicture = true;
        if (st != DecodeStatus::Ok) break;
        scan.sizes.push_back({w, h});
        scan.count = k;
        const int bits = deepFileBits(scan.currentFileName);
        sixteen = sixteen || bits == 16;
        allDeepFiles = allDeepFiles && deepFileKind(scan.currentFileName) != DeepFileKind::None;
        if (onPicture) onPicture(k);
    }
    scan.deep = sixteen && allDeepFiles;
    return scan;
}

StreamedSeries::StreamedSeries(SeriesName series, const SeriesScan& scan)
    : series_(std::move(series)), count_(scan.count), sizes_(scan.sizes), deep_(scan.deep),
      orientation_(scan.orientation) {
    if (count_ > 0) {
        W_ = roundUp4(sizes_[0][0]);
        H_ = roundUp4(sizes_[0][1]);
    }
}

int StreamedSeries::pictureWidth(int n) const {
    if (n < 1 || n > count_) return 0;
    return plan_ ? plan_->sizes[std::size_t(n - 1)][0] : sizes_[std::size_t(n - 1)][0];
}

int StreamedSeries::pictureHeight(int n) const {
    if (n < 1 || n > count_) return 0;
    return plan_ ? plan_->sizes[std::size_t(n - 1)][1] : sizes_[std::size_t(n - 1)][1];
}

std::string StreamedSeries::failedFile() const {
    const std::lock_guard<std::mutex> lock(lock_);
    return failed_;
}

std::uint64_t StreamedSeries::seriesBytes() const {
    std::uint64_t bytes = 0;
    for (const auto& size : sizes_) {
        bytes += std::uint64_t(W_) * std::uint64_t(H_) * 3;
        if (deep_) bytes += std::uint64_t(size[0]) * std::uint64_t(size[1]) * 3 * sizeof(std::uint16_t);
    }
    return bytes;
}

bool StreamedSeries::keepWithin(std::uint64_t bytes) {
    const std::lock_guard<std::mutex> lock(lock_);
    keep_ = count_ > 0 && seriesBytes() <= bytes;
    kept_.clear();
    if (keep_) kept_.resize(std::size_t(count_));
    return keep_;
}

const StreamedSeries::Decoded* StreamedSeries::keptFor(int n, bool withCells) const {
    if (!keep_ || n < 1 || n > count_) return nullptr;
    const Decoded* k = kept_[std::size_t(n - 1)].get();
    if (!k || k->aligned != (plan_ != nullptr) || (withCells && k->cells.empty())) return nullptr;
    return k;
}

std::unique_ptr<StreamedSeries::Decoded> StreamedSeries::takeUnaligned(int n) {
    const std::lock_guard<std::mutex> lock(lock_);
    if (!keep_ || n < 1 || n > count_) return nullptr;
    std::unique_ptr<Decoded>& k = kept_[std::size_t(n - 1)];
    if (!k || k->aligned || k->cells.empty()) return nullptr;
    return std::move(k);
}

void StreamedSeries::refuse(int n) {
    {
        const std::lock_guard<std::mutex> lock(lock_);
        if (failed_.empty()) failed_ = series_.fileName(n);
    }
    throw RuntimeError(kInvalidPicture);
}

void StreamedSeries::handOut(const Decoded& d, bool deep, SourcePicture& into) const {
    into.cells = d.cells.empty() ? nullptr : d.cells.data();
    into.deep = deep && hasDeep() ? &d.deep : nullptr;
}

void StreamedSeries::decode(int n, bool withCells, Decoded& into) {
    if (std::unique_ptr<Decoded> earlier = plan_ ? takeUnaligned(n) : nullptr) {
        // Read before the series was aligned: aligned now without its file being read again.
        into.cells.swap(earlier->cells);
        into.deep = std::move(earlier->deep);
    } else {
        readFile(n, withCells, into);
    }
    into.aligned = plan_ != nullptr;
    if (plan_) {
        alignPicture(*plan_, n, into.cells, into.spare);
        // The deep picture follows its 8-bit view: the same map, and the colour fit just made.
        if (deep_ && !alignDeepPicture(into.deep, plan_->report, n, W_, H_)) refuse(n);
        // The picture as loaded is not kept beside the aligned one (and the one decoded ahead).
        std::vector<std::uint8_t>().swap(into.spare);
    }
}

void StreamedSeries::readFile(int n, bool withCells, Decoded& into) {
    const std::string name = series_.fileName(n);
    const int pw = sizes_[std::size_t(n - 1)][0], ph = sizes_[std::size_t(n - 1)][1];
    std::unique_ptr<MemorySurface> surface;
    if (deep_) {
        // Read once at full depth; the 8-bit cells are its 8-bit view.
        if (readDeepPicture(name, into.deep, nullptr, orientation_) != DecodeStatus::Ok) refuse(n);
        if (into.deep.width != pw || into.deep.height != ph) refuse(n);
        if (!withCells && !plan_) {
            into.cells.clear();
            return;
        }
        surface = std::make_unique<MemorySurface>(pw, ph, deepToRoundedBgr(into.deep));
    } else {
        if (decodeToSurface(name, surface, nullptr, montageRoom_, orientation_) != DecodeStatus::Ok) refuse(n);
        if (surface->pictureWidth() != pw || surface->pictureHeight() != ph) refuse(n);
    }
    // As the stack's fill places a picture: its own cells when it has picture 1's rounded size,
    // else copied into black cells of that size.
    if (!surface->takePixels(into.cells, W_, H_)) {
        into.cells.assign(std::size_t(W_) * std::size_t(H_) * 3, 0);
        surface->readPixels(into.cells.data(), W_, H_);
    }
}

void StreamedSeries::read(int n, bool deep, SourcePicture& into) {
    if (n < 1 || n > count_) throw RuntimeError(9);
    bool kept = false;
    {
        const std::lock_guard<std::mutex> lock(lock_);
        if (const Decoded* k = keptFor(n, into.withCells)) {
            handOut(*k, deep, into);
            kept = true;
        }
    }
    if (kept) {
        std::vector<std::uint8_t>().swap(into.ownCells); // no buffer of its own held beside the kept ones
        DeepPicture().samples.swap(into.ownDeep.samples);
        willRead(nextAfter(n), into.withCells);
        return;
    }
    std::unique_ptr<Decoded> d;
    if (ahead_.valid()) {
        // The picture decoded ahead is this one, or is no longer wanted.
        const bool mine = aheadPicture_ == n && aheadWithCells_ == into.withCells;
        std::future<std::unique_ptr<Decoded>> f = std::move(ahead_);
        if (mine) {
            d = f.get();
        } else {
            try {
                f.get();
            } catch (...) {
            }
        }
    }
    if (!d) {
        d = std::make_unique<Decoded>();
        d->cells = std::move(into.ownCells);
        d->spare = std::move(into.spare);
        d->deep = std::move(into.ownDeep);
        decode(n, into.withCells, *d);
    }
    into.spare = std::move(d->spare);
    {
        // Kept for the passes that follow (and handed out in place), unless another reader of the
        // same picture kept it first.
        const std::lock_guard<std::mutex> lock(lock_);
        if (keep_ && !kept_[std::size_t(n - 1)]) handOut(*(kept_[std::size_t(n - 1)] = std::move(d)), deep, into);
    }
    if (d) {
        into.ownCells = std::move(d->cells);
        into.ownDeep = std::move(d->deep);
        into.cells = into.ownCells.empty() ? nullptr : into.ownCells.data();
        into.deep = deep && hasDeep() ? &into.ownDeep : nullptr;
    }
    // The next picture is decoded while this one is worked on.
    willRead(nextAfter(n), into.withCells);
}

int StreamedSeries::nextAfter(int n) const {
    int next = n + 1;
    while (next <= count_ && isIgnored(passedOver_, next)) ++next;
    return next;
}

void StreamedSeries::willRead(int n, bool withCells) {
    if (!readAhead_ || ahead_.valid() || n < 1 || n > count_) return;
    {
        const std::lock_guard<std::mutex> lock(lock_);
        if (keptFor(n, withCells)) return;
    }
    auto job = [this, n, withCells] {
        auto ahead = std::make_unique<Decoded>();
        decode(n, withCells, *ahead);
        return ahead;
    };
    try {
        ahead_ = std::async(std::launch::async, job);
    } catch (const std::system_error&) {
        ahead_ = std::async(std::launch::deferred, job); // no thread to be had: decoded when asked
    }
    aheadPicture_ = n;
    aheadWithCells_ = withCells;
}

StreamedSeries::~StreamedSeries() {
    if (ahead_.valid()) ahead_.wait();
}

} // namespace orv
