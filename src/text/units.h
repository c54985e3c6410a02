// Scanning loops over zero-terminated 16-bit strings, the W family's own (the
// C runtime's wide functions work on 32-bit wchar_t here).
#pragma once
#include <cstddef>

#include "qvcore5/qv_base.h"
#include "base/wide.h"

namespace qv::text {

size_t UnitLength(const WChar* s) noexcept;
// Units before the terminator, at most max.
size_t UnitLengthMax(const WChar* s, size_t max) noexcept;
// First unit equal to c (c == 0 finds the terminator), or null.
const WChar* UnitFind(const WChar* s, WChar c) noexcept;
// Index of the first unit where a and b differ or a ends.
size_t UnitMismatch(const WChar* a, const WChar* b) noexcept;

// True when a value of the C runtime's wide functions (wint_t) fits one
// 16-bit unit; always so where wint_t itself has 16 bits (Windows).
template <class T>
constexpr bool FitsUnit(T value) noexcept {
  if constexpr (sizeof(T) > sizeof(WChar)) return value <= 0xFFFF;
  else return true;
}

}  // namespace qv::text
