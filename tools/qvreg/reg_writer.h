// Writes keys as a registry-editor file: UTF-16LE with a byte-order mark and
// CR LF line ends, as the Windows registry editor exports them.
#pragma once
#include <string>

#include "registry.h"

namespace qvreg {

// The lines of one value ("name"=data, long hexadecimal data wrapped with \).
std::u16string RegValueLines(const Value& value);
// The key and every key below it, in the file's text; 0x80070002 for a missing key.
QVRESULT RegExportText(const Key& key, std::u16string& text);
// The file's bytes for `text`.
std::string RegFileBytes(const std::u16string& text);

}  // namespace qvreg
