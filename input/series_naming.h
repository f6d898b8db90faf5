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

} // namespace orv
