// Conversions between the locale's narrow encoding and UTF-16, used inside
// the library. Narrow text goes through the C runtime's multibyte functions
// (mbrtoc32/c32rtomb); surrogate pairs are formed and split here, so 32-bit
// wchar_t never shows. Like the Windows conversions without flags, they never
// fail: an undecodable byte becomes U+FFFD; a character the narrow encoding
// cannot hold becomes '?', an unpaired surrogate U+FFFD when the encoding has
// it (UTF-8) and '?' otherwise.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

#include "qvcore5/qv_base.h"
#include "base/wide.h"

namespace qv::text {

// Converts at most maxBytes bytes (stopping at a zero byte) into dst, which
// holds capacity units; returns the units written, without a terminator. A
// character that does not fit whole is left out.
size_t NarrowToWideBuffer(const char* src, size_t maxBytes, WChar* dst, size_t capacity) noexcept;

// Converts `length` units into dst (capacity bytes); returns the bytes
// written, without a terminator. A character that does not fit whole is left out.
size_t WideToNarrowBuffer(const WChar* src, size_t length, char* dst, size_t capacity) noexcept;

// Whole-string conversions into string objects the caller owns: the whole
// view is converted, zero units included; a null pointer converts as the
// empty string. They throw std::bad_alloc when memory
// runs out.
std::u16string NarrowToWide(std::string_view narrow);
std::u16string NarrowToWide(const char* narrow);
std::string WideToNarrow(std::u16string_view wide);
std::string WideToNarrow(const WChar* wide);

// For names (files, objects) where a replacement would name something else:
// false when a unit has no exact narrow form (an unpaired surrogate, or a
// character the encoding lacks); narrow then holds nothing useful.
bool WideToNarrowExact(std::u16string_view wide, std::string& narrow);

}  // namespace qv::text
