// Inside the library every 16-bit text unit is WChar (char16_t) and literals
// are QV_W("..."). The public QVWCHAR is char16_t on POSIX and wchar_t on
// Windows, with the same size and layout, so an export converts its pointers
// once, at the boundary, with Wide() and Api().
#pragma once
#include <type_traits>

#include "qvcore5/qv_base.h"

namespace qv {

using WChar = char16_t;
#define QV_W(text) u##text

static_assert(sizeof(QVWCHAR) == sizeof(WChar) && alignof(QVWCHAR) == alignof(WChar),
              "the public wide unit must have the layout of the internal one");
static_assert(std::is_unsigned_v<QVWCHAR> == std::is_unsigned_v<WChar>,
              "the public wide unit must have the signedness of the internal one");

inline WChar* Wide(QVWCHAR* text) noexcept { return reinterpret_cast<WChar*>(text); }
inline const WChar* Wide(const QVWCHAR* text) noexcept { return reinterpret_cast<const WChar*>(text); }
inline QVWCHAR* Api(WChar* text) noexcept { return reinterpret_cast<QVWCHAR*>(text); }
inline const QVWCHAR* Api(const WChar* text) noexcept { return reinterpret_cast<const QVWCHAR*>(text); }

}  // namespace qv
