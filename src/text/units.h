// Scanning loops over zero-terminated strings that the string families share.
// The 16-bit forms are the W family's own (the C runtime's wide functions work
// on 32-bit wchar_t here); the narrow one is the ASCII fast path of the
// case-insensitive comparison.
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
// Index of the first byte below max where a ends, either string has a byte
// above 127, or the two bytes differ after folding a..z to A..Z; max if none.
size_t AsciiFoldedMismatch(const char* a, const char* b, size_t max) noexcept;

}  // namespace qv::text
