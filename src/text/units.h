// Scanning loops over zero-terminated 16-bit strings, the W family's own (the
// C runtime's wide functions work on 32-bit wchar_t here).
#pragma once
#include <cstddef>

#include "qvcore5/qv_base.h"

namespace qv::text {

size_t UnitLength(const QVWCHAR* s) noexcept;
// Units before the terminator, at most max.
size_t UnitLengthMax(const QVWCHAR* s, size_t max) noexcept;
// First unit equal to c (c == 0 finds the terminator), or null.
const QVWCHAR* UnitFind(const QVWCHAR* s, QVWCHAR c) noexcept;
// Index of the first unit where a and b differ or a ends.
size_t UnitMismatch(const QVWCHAR* a, const QVWCHAR* b) noexcept;

}  // namespace qv::text
