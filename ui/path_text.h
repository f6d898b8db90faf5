// File names carried between their bytes and the text Qt's controls, dialogs and captions hold,
// without loss: a Linux file name is any bytes, not necessarily UTF-8 (Qt's own conversions turn
// the bytes that are not into U+FFFD, and the name then points at a file that does not exist).
#pragma once

#include <QString>
#include <QStringView>

#include <string>
#include <string_view>

namespace orv {

// The name as text: valid UTF-8 decoded as usual, every byte that is not part of a valid UTF-8
// sequence as the lone surrogate U+DC80..U+DCFF (U+DC00 + the byte), as Python's surrogateescape.
QString pathText(std::string_view bytes);

// The bytes of a name held as text: the inverse of pathText, so pathBytes(pathText(b)) == b for
// any bytes b. A lone surrogate outside U+DC80..U+DCFF (none comes from pathText) becomes U+FFFD.
std::string pathBytes(QStringView text);

// The bytes of an absolute name made from `name`: the current folder in front of a relative
// name, "." and ".." steps and repeated "/" removed, by bytes (Qt's would decode the folder).
std::string absolutePathBytes(const std::string& name);

} // namespace orv
