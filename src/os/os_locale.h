// The narrow encoding the C runtime uses, as a Windows code page number.
#pragma once
#include <cstdint>
#include <string>

namespace qv::os {

// Code page of the current narrow encoding (the runtime's LC_CTYPE codeset),
// the counterpart of the Windows ANSI code page.
uint32_t GetACP() noexcept;

// Code page for a codeset name as nl_langinfo(CODESET) reports it; case,
// '-' and '_' are ignored. A codeset without a code page gives 20127 (ASCII,
// the part every locale codeset of the C library shares).
uint32_t CodePageFromCodeset(const char* codeset) noexcept;

// Makes the user's default locale the C runtime's; run once at library start.
// Where the settings name no usable locale, narrow text is UTF-8.
void AdoptUserLocale() noexcept;

// The locale name the user's settings choose for messages, read anew at
// every call ("de_DE.UTF-8@euro" on POSIX, from the first non-empty of
// LC_ALL, LC_MESSAGES and LANG); empty when none is set. Only parsed, so an
// undecodable byte is replaced. Throws std::bad_alloc.
std::u16string UserMessagesLocaleName();

}  // namespace qv::os
