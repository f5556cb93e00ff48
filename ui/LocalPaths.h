// File names as Linux has them: any bytes but "/" and the zero byte, UTF-8 or not. Qt turns names
// that are not valid UTF-8 into text with U+FFFD in place of their bytes (QFile::decodeName
// too), which names no file, so paths cross into the program as bytes wherever they can.
#pragma once

#include <string>

class QUrl;

namespace ui {

// The local path of a dropped or pasted file URL, byte for byte: the URL's percent-encoded path
// decoded to bytes, so that a name that is not valid UTF-8 arrives as it is on the disk.
std::string LocalPathOf(const QUrl& url);

}  // namespace ui
