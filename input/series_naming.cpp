// The series naming rule.
#include "input/series_naming.h"

#include "base/numbers.h"
#include "base/regular_file.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace orv {

std::string currentFolder() {
    std::string folder(PATH_MAX, '\0');
    while (!::getcwd(folder.data(), folder.size())) {
        if (errno != ERANGE) return "/";
        folder.resize(folder.size() * 2);
    }
    folder.resize(std::strlen(folder.c_str()));
    if (folder.empty() || folder.back() != '/') folder += '/';
    return folder;
}

std::string completeSeriesName(const std::string& typed, const std::string& programFolder) {
    std::string name = typed;
    if (name.empty() || name[0] != '/') name = programFolder + name;
    if (firstDotOfFileName(name) == std::string::npos) name += ".bmp";
    return name;
}

std::optional<SeriesName> parseSeriesName(const std::string& completed) {
    const std::size_t dot = firstDotOfFileName(completed);
    if (dot == std::string::npos || dot == 0) return std::nullopt;
    auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    if (!isDigit(completed[dot - 1])) return std::nullopt;
    std::size_t start = dot - 1;
    while (start > 0 && isDigit(completed[start - 1])) --start;
    SeriesName s;
    s.before = completed.substr(0, start);
    s.width = int(dot - start);
    long long value = 0;
    for (std::size_t i = start; i < dot; ++i) {
        value = value * 10 + (completed[i] - '0');
        if (value > INT16_MAX + 1LL) throw RuntimeError(6);
    }
    s.offset = toInt16(value - 1);
    s.rest = completed.substr(dot);
    return s;
}

std::string SeriesName::fileName(long long k) const {
    std::string digits = std::to_string(offset + k);
    if (int(digits.size()) < width) digits.insert(0, std::size_t(width) - digits.size(), '0');
    return before + digits + rest;
}

std::optional<SeriesGap> seriesGapAfter(const SeriesName& series, long long count, int lookAhead) {
    if (count < 1 || series.offset + count >= SHRT_MAX) return std::nullopt;
    const std::string missing = series.fileName(count + 1);
    // The loader ends a series quietly only where the name is not there; a folder or a damaged
    // file of that name is said as a picture it cannot read.
    struct stat st{};
    if (::stat(missing.c_str(), &st) == 0 || (errno != ENOENT && errno != ENOTDIR)) return std::nullopt;
    for (long long k = count + 2; k <= count + 1 + lookAhead && series.offset + k <= SHRT_MAX; ++k) {
        std::string later = series.fileName(k);
        if (isRegularFile(later)) return SeriesGap{series.fileName(count), missing, std::move(later), k};
    }
    return std::nullopt;
}

} // namespace orv
