// Paths and names between the library's 16-bit text and the wide strings of
// the Windows API (private to the win32 backend). wchar_t is 16 bits here,
// so text crosses by reinterpretation, unit for unit.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace qv::os::win32 {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "the Windows API takes 16-bit text");

inline const wchar_t* WideText(const char16_t* text) noexcept { return reinterpret_cast<const wchar_t*>(text); }
inline const char16_t* LibraryText(const wchar_t* text) noexcept { return reinterpret_cast<const char16_t*>(text); }

// The path as zero-terminated wide text. False with last error 3 for an empty
// path, 123 for a path holding a zero unit, 14 when memory runs out.
bool WidePath(std::u16string_view path, std::wstring& out) noexcept;

// Stores the calling thread's system error as the library's last error and
// returns it (31 when the system reported none).
uint32_t KeepSystemError() noexcept;

// As KeepSystemError, returning false (and null for the pointer form).
bool FailFromSystem() noexcept;

}  // namespace qv::os::win32
