// Reading a whole file that must be a regular file: a FIFO, a device or a folder of that name is
// refused at once instead of being waited on or read without end.
#pragma once

#include <string>

namespace orv {

enum class FileRead { Ok, Missing, NotRegular, Unreadable };

// The file's bytes into `text` (left empty unless Ok).
FileRead readRegularFile(const std::string& path, std::string& text);

} // namespace orv
