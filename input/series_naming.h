// The naming rule of a numbered series: the digits just before the first dot of the file name are
// counted up, keeping their width ("rock09.bmp", "rock10.bmp", ...).
#pragma once

#include "base/text.h"

#include <optional>
#include <string>

namespace orv {

// The working folder as the system names it (its bytes, which need not be valid UTF-8), ending
// in "/"; "/" when it cannot be read.
std::string currentFolder();

// Completes a typed name: a relative path gets `programFolder` (ending in "/") in front, and a
// file name without a dot gets ".bmp" behind.
std::string completeSeriesName(const std::string& typed, const std::string& programFolder);

struct SeriesName {
    std::string before; // everything before the digit run
    int width = 1;      // digits in the run
    long long offset = 0; // the first number minus 1
    std::string rest;   // from the first dot to the end, as typed

    // File k (from 1): the number offset + k, left-padded with "0" to `width` digits.
    std::string fileName(long long k) const;
};

// Splits a completed name; nullopt when the character before the file name's first dot is not a
// digit (or there is no dot). Raises RuntimeError 6 when the number does not fit 16 bits.
std::optional<SeriesName> parseSeriesName(const std::string& completed);

// A series that ends at a missing number while a later number of the same naming is there (a
// picture deleted or renamed part way, a card read twice): the files after the gap are not read.
struct SeriesGap {
    std::string last;    // the last file of the series
    std::string missing; // the next number's file, which is not there
    std::string later;   // the first file after it that is there
    long long laterFile = 0; // later's place in the series' numbering (file k, from 1)
};

// Whether the series of `count` files (from 1) ends at a gap: file count + 1 is missing (not there
// at all, as the loader takes a missing file) and one of the `lookAhead` numbers after it is a
// regular file. None for no files, for a series that ends at a file that is there (a limit, a
// picture that cannot be read) and past 32767, the highest number a series counts to.
std::optional<SeriesGap> seriesGapAfter(const SeriesName& series, long long count, int lookAhead = 5);

} // namespace orv
