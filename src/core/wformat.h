// The library's own printf for 16-bit format strings, with the Windows
// meanings: %s and %ls wide, %hs and %S narrow, %c wide, %hc and %C narrow,
// size prefixes h, l (32 bits), ll, I64 (64 bits), I32, I and z (pointer
// size). Unknown or truncated conversions are copied as text and consume no
// argument, so the formatter never reads past the arguments the format names.
#pragma once
#include <cstdarg>
#include <cstddef>

#include "qvcore5/qv_base.h"
#include "base/wide.h"

namespace qv::core {

// Writes at most capacity - 1 units and always a terminator (capacity >= 1).
// Returns the number of units written before the terminator.
size_t FormatWideV(WChar* buffer, size_t capacity, const WChar* format, va_list args) noexcept;
size_t FormatWide(WChar* buffer, size_t capacity, const WChar* format, ...) noexcept;

}  // namespace qv::core
