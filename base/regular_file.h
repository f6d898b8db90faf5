// Reading a whole file that must be a regular file: a FIFO, a device or a folder of that name is
// refused at once instead of being waited on or read without end.
#pragma once

#include <string>

namespace orv {

enum class FileRead { Ok, Missing, NotRegular, Unreadable };

// The file's bytes into `text` (left empty unless Ok).
FileRead readRegularFile(const std::string& path, std::string& text);

// Names as the bytes they are, never through a text conversion that could lose some (names that
// are not UTF-8, names holding a line end):
// whether the name is a regular file (links followed);
bool isRegularFile(const std::string& path);
// the name from the root: the working folder + "/" + a relative name ("./" at its start dropped);
// an absolute name as it is.
std::string absoluteFileName(const std::string& path);

} // namespace orv
