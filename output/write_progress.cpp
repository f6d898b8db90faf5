// Reporting and stopping a picture's writing.
#include "output/write_progress.h"

#include "base/atomic_file.h"
#include "base/runtime_error.h"

#include <algorithm>

namespace orv {

void reportWritten(const WriteProgress& progress, int done, int total) {
    if (progress && !progress(done, total)) throw RuntimeError(kUserInterrupt);
}

WriteProgress stageOfTwo(const WriteProgress& progress, bool second) {
    if (!progress) return {};
    return [progress, second](int done, int total) { return progress(second ? total + done : done, 2 * total); };
}

void writeFileInBands(const std::string& path, const std::vector<std::uint8_t>& bytes, const WriteProgress& progress,
                      int total) {
    if (!progress) {
        writeFileAtomically(path, bytes);
        return;
    }
    constexpr std::size_t kBand = std::size_t(1) << 20;
    AtomicFile f(path);
    for (std::size_t at = 0; at < bytes.size(); at += kBand) {
        const std::size_t n = std::min(kBand, bytes.size() - at);
        f.write(bytes.data() + at, n);
        const int done = int(double(at + n) * double(total) / double(bytes.size()));
        reportWritten(progress, done, total);
    }
    f.commit();
}

} // namespace orv
