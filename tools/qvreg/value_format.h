// Values as people read and type them: type names, readable data, and the
// data of `set` from its command-line text.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "registry.h"

namespace qvreg {

// "REG_SZ", "REG_DWORD", ...; "REG_TYPE_<n>" for a type the library passes through.
std::string TypeName(uint32_t type);
// The type of a `--type` word (string, expand, dword, binary, multi).
std::optional<uint32_t> TypeFromWord(const std::string& word);
std::string FormatData(const Value& value);

// Builds the stored bytes of `set`; false with a reason for text that does
// not make a value of the type. A multi-string takes one text per string.
bool DataFromText(uint32_t type, const std::vector<std::string>& texts, std::vector<uint8_t>& data,
                  std::string& error);

// Zero-terminated UTF-16LE bytes of text, and back (up to the first zero unit).
void AppendUtf16(std::vector<uint8_t>& data, std::u16string_view text);
std::u16string TextOf(const std::vector<uint8_t>& data);
// The strings of a multi-string, without the empty one that ends the list.
std::vector<std::u16string> StringsOf(const std::vector<uint8_t>& data);

}  // namespace qvreg
