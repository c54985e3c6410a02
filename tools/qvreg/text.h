// UTF-8 and UTF-16 text of the program; the library's wide unit is QVWCHAR.
#pragma once
#include <qvcore5/qvcore.h>

#include <string>
#include <string_view>

namespace qvreg {

static_assert(sizeof(QVWCHAR) == sizeof(char16_t), "the library's wide unit is 16 bits");

inline const QVWCHAR* Api(const std::u16string& s) { return reinterpret_cast<const QVWCHAR*>(s.c_str()); }
inline QVWCHAR* Api(char16_t* s) { return reinterpret_cast<QVWCHAR*>(s); }

// Strict UTF-8 decoding; on failure `badOffset` is the offset of the first bad byte.
bool FromUtf8(std::string_view in, std::u16string& out, size_t* badOffset = nullptr);
// Unpaired surrogates become U+FFFD: the result is only shown.
std::string ToUtf8(std::u16string_view in);

bool EqualNoCase(std::u16string_view a, std::string_view asciiB);

}  // namespace qvreg
