// The C runtime's narrow encoding and the user's locale settings.
#pragma once
#include <cstdint>
#include <string>

namespace qv::os {

// Code page of the C runtime's current narrow encoding, the counterpart of
// the Windows ANSI code page.
uint32_t AnsiCodePage() noexcept;

// The locale name the user's settings choose for messages, read anew at
// every call ("de_DE.UTF-8@euro" on POSIX, from the first non-empty of
// LC_ALL, LC_MESSAGES and LANG); empty when none is set. Only parsed, so an
// undecodable byte is replaced. Throws std::bad_alloc.
std::u16string UserMessagesLocaleName();

// Sets the C runtime's locale to the user's default from the environment,
// category by category: a category whose locale is not installed stays as
// it was. When character handling ends up without a locale ("C"/"POSIX"), it
// becomes C.UTF-8.
void ApplyUserLocale() noexcept;

}  // namespace qv::os
