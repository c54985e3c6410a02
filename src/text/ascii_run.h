// The ASCII fast paths of the narrow/wide conversions: bytes 0..127 are the
// same character in every narrow encoding the runtime offers as a locale
// (in the initial shift state), so runs of them are copied without it.
#pragma once
#include <cstddef>

#include "qvcore5/qv_base.h"
#include "base/wide.h"

namespace qv::text {

// Index of the first byte of s[0..length) above 127, or length.
size_t AsciiRunLength(const char* s, size_t length) noexcept;
// Copies the leading ASCII bytes of s[0..length) into d as units; returns how
// many (the index of the first byte above 127, or length).
size_t WidenAsciiRun(WChar* d, const char* s, size_t length) noexcept;
// Copies the leading units of s[0..length) below 0x80 into d as bytes;
// returns how many.
size_t NarrowAsciiRun(char* d, const WChar* s, size_t length) noexcept;

}  // namespace qv::text
