// The C runtime's narrow encoding and the user's locale settings.
#pragma once
#include <cstdint>
#include <string>

namespace qv::os {

// Code page of the C runtime's current narrow encoding, the counterpart of
// the Windows ANSI code page.
uint32_t GetACP() noexcept;

// Makes the user's default locale the C runtime's; run once at library start.
// Where the settings name no usable locale, narrow text is UTF-8.
void AdoptUserLocale() noexcept;

// The locale name the user's settings choose for messages, read anew at
// every call ("de_DE.UTF-8@euro" on POSIX, from the first non-empty of
// LC_ALL, LC_MESSAGES and LANG); empty when none is set. Only parsed, so an
// undecodable byte is replaced. Throws std::bad_alloc.
std::u16string UserMessagesLocaleName();

}  // namespace qv::os
