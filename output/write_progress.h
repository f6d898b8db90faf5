// How far the writing of a picture file has come, told band by band, and the way to stop it there.
// A stopped writing puts nothing into place: the target stays as it was and no temporary is left.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace orv {

// Told after each band of rows: `done` of `total` steps. Returning false stops the writing at
// that band: the writer removes its temporary file, leaves the target as it was and raises
// RuntimeError kUserInterrupt. An empty function lets the writing run through; the bytes written
// are the same either way.
using WriteProgress = std::function<bool(int done, int total)>;

// Tells `progress` (when there is one); raises RuntimeError kUserInterrupt when it says stop.
void reportWritten(const WriteProgress& progress, int done, int total);

// The progress of one of two equal stages of a writing (encoding, then writing the bytes): the
// stage's `done` of `total` become steps of 2 x total, the second stage after the first.
WriteProgress stageOfTwo(const WriteProgress& progress, bool second);

// The bytes written through an AtomicFile in bands of 1 MB, each band told to `progress` as its
// share of `total` steps, and the file put into place. Raises what AtomicFile raises and, on a
// stop, kUserInterrupt before anything is put into place.
void writeFileInBands(const std::string& path, const std::vector<std::uint8_t>& bytes, const WriteProgress& progress,
                      int total);

} // namespace orv
