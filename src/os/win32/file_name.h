// Paths for the Windows API (private to the win32 backend): the library's
// 16-bit text crosses unit for unit (os/win32/wide_text.h).
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "os/win32/wide_text.h"

namespace qv::os::win32 {

// The path as zero-terminated wide text. False with last error 3 for an empty
// path, 123 for a path holding a zero unit, 14 when memory runs out.
bool WidePath(std::u16string_view path, std::wstring& out) noexcept;

// As StoreNativeError, returning the number stored; called right after the
// failing Windows call.
uint32_t KeepSystemError() noexcept;

// As KeepSystemError after a call that would have created `path`: a system
// that cannot name an unpaired surrogate (Wine, on its host's UTF-8 names)
// reports "not found" there, which becomes `unnamable` (123 or 1113).
uint32_t KeepCreationError(std::u16string_view path, uint32_t unnamable) noexcept;

}  // namespace qv::os::win32
