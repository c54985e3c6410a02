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

}  // namespace qv::os::win32
