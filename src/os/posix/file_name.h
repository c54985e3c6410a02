// File names between 16-bit text and the bytes the kernel stores. Names are
// UTF-8 whatever the locale; a byte that is not part of valid UTF-8 travels
// as the lone surrogate U+DC00 + byte, so every name the file system holds
// comes back to the same bytes when it is opened again.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

namespace qv::os {

// False with last error 123 when a unit has no byte form (a lone surrogate
// other than an escaped byte); std::bad_alloc is caught (last error 14).
bool NativePath(std::u16string_view path, std::string& native) noexcept;

// Decodes `length` bytes into out (room for capacity units, terminator
// included); returns the units written before the terminator.
size_t WideName(const char* bytes, size_t length, char16_t* out, size_t capacity) noexcept;

}  // namespace qv::os
