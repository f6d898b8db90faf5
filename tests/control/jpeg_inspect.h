// Reads a JPEG file's luminance quantisation table with a small marker parser of its own, and
// gives the table a standard encoder makes at a quality, so tests can tell the quality used.
#pragma once

#include <QString>

#include <array>
#include <optional>

namespace testjpeg {

using Table = std::array<int, 64>;  // natural (row by row) order

// The first quantisation table (id 0) of the file, or nothing when there is none.
std::optional<Table> luminanceTable(const QString& path);
// The baseline luminance table scaled to a quality from 1 to 100.
Table expectedLuminanceTable(int quality);

}  // namespace testjpeg
