// The series loop.
#include "project/series_loader.h"

#include "engine/focus_method.h"

#include <climits>

namespace orv {

SeriesResult loadSeriesFiles(const SeriesName& series,
                             const std::function<DecodeStatus(int, const std::string&)>& load,
                             const std::function<void()>& onLimit) {
    SeriesResult r;
    for (;;) {
        const int k = r.count + 1;
        // The limit test comes before any attempt on a 31st file.
        if (k > kMaxPictures) {
            r.limitReached = true;
            if (onLimit) onLimit();
            break;
        }
        // A number past the 16-bit range cannot name a further file: the series ends there.
        if (series.offset + k > SHRT_MAX) break;
        r.currentFileName = series.fileName(k);
        const DecodeStatus st = load(k, r.currentFileName);
        if (st == DecodeStatus::Invalid) r.invalidPicture = true;
        if (st != DecodeStatus::Ok) break;
        r.count = k;
    }
    return r;
}

} // namespace orv
