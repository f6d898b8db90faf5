// The series loop.
#include "input/series_loader.h"

#include "base/regular_file.h"
#include "base/runtime_error.h"
#include "engine/focus_method.h"

#include <climits>
#include <deque>
#include <future>
#include <system_error>
#include <utility>

namespace orv {

SeriesResult loadSeriesFiles(const SeriesName& series,
                             const std::function<DecodeStatus(int, const std::string&)>& load,
                             const std::function<void()>& onLimit, int maxCount) {
    SeriesResult r;
    for (;;) {
        const int k = r.count + 1;
        // The caller's own limit ends the series quietly.
        if (k > maxCount) break;
        // The limit test comes before any attempt on a 31st file.
        if (k > kMaxPictures) {
            r.limitReached = true;
            if (onLimit) onLimit();
            break;
        }
        r.currentFileName = series.fileName(k);
        // A number past the 16-bit range cannot name a further file: the series ends there, and
        // when that is the first file there is no series at all.
        if (series.offset + k > SHRT_MAX) {
            if (k == 1) r.failure = 6;
            break;
        }
        DecodeStatus st;
        try {
            st = load(k, r.currentFileName);
        } catch (...) {
            if (currentError().number() != 7) throw;
            r.failure = 7;
            break;
        }
        if (st == DecodeStatus::Invalid) r.invalidPicture = true;
        if (st != DecodeStatus::Ok) break;
        r.count = k;
    }
    return r;
}

namespace {

struct Decoded {
    DecodeStatus status = DecodeStatus::Missing;
    std::unique_ptr<MemorySurface> surface;
    QImage shown;
};

Decoded decodeFile(const std::string& name, bool withShown, int orientation) {
    Decoded d;
    d.status = decodeToSurface(name, d.surface, withShown ? &d.shown : nullptr, MontageRoom::StillToCome, orientation);
    return d;
}

} // namespace

SeriesResult loadSeriesSurfaces(const SeriesName& series,
                                std::vector<std::unique_ptr<MemorySurface>>& out,
                                const std::function<void(int)>& onPicture,
                                const std::function<void()>& onLimit,
                                std::vector<QImage>* shown, int maxCount, int orientation) {
    // Decodes in flight, for files first, first + 1, ...
    std::deque<std::future<Decoded>> inFlight;
    int first = 1;
    auto launch = [&](int k) {
        try {
            return std::async(std::launch::async, decodeFile, series.fileName(k), shown != nullptr, orientation);
        } catch (const std::system_error&) {
            // No thread to be had (the system is short of resources): decode when asked.
            return std::async(std::launch::deferred, decodeFile, series.fileName(k), shown != nullptr, orientation);
        }
    };
    return loadSeriesFiles(
        series,
        [&](int k, const std::string&) {
            while (first + int(inFlight.size()) <= k + 1) {
                const int next = first + int(inFlight.size());
                if (next > kMaxPictures || next > maxCount || series.offset + next > SHRT_MAX) break;
                inFlight.push_back(launch(next));
            }
            Decoded d = inFlight.front().get();
            inFlight.pop_front();
            ++first;
            if (d.status == DecodeStatus::Ok) {
                out.push_back(std::move(d.surface));
                if (shown) {
                    shown->resize(out.size());
                    shown->back() = std::move(d.shown);
                }
                if (onPicture) onPicture(k);
            }
            return d.status;
        },
        onLimit, maxCount);
}

Prompt refusedPicturePrompt(const std::string& file) {
    int w = 0, h = 0;
    if (!pictureTooLarge(file, w, h))
        return Prompt{PromptIcon::Critical, PromptButtons::Ok, kInvalidPictureText, kInvalidPictureTitle, file};
    return Prompt{PromptIcon::Critical, PromptButtons::Ok,
                  "This picture (" + std::to_string(w) + "," + std::to_string(h) +
                      ") is too large for me: I can only cope with pictures of up to 32764 pixels a side.",
                  kTooLargePictureTitle, file};
}

std::vector<std::string> seriesFilesThere(const std::string& completedFirst, int limit) {
    std::vector<std::string> files;
    try {
        const std::optional<SeriesName> series = parseSeriesName(completedFirst);
        for (int k = 1; series && k <= limit; ++k) {
            std::string name = series->fileName(k);
            if (!isRegularFile(name)) break;
            files.push_back(std::move(name));
        }
    } catch (const RuntimeError&) {
    }
    return files;
}

} // namespace orv
