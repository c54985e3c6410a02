// The narrow encoding the C runtime uses, as a Windows code page number.
#pragma once
#include <cstdint>

namespace qv::os {

// Code page of the current narrow encoding (the runtime's LC_CTYPE codeset),
// the counterpart of the Windows ANSI code page.
uint32_t GetACP() noexcept;

// Code page for a codeset name as nl_langinfo(CODESET) reports it; case,
// '-' and '_' are ignored. A codeset without a code page gives 20127 (ASCII,
// the part every locale codeset of the C library shares).
uint32_t CodePageFromCodeset(const char* codeset) noexcept;

// Sets the C runtime's locale to the user's default from the environment,
// category by category: a category whose locale is not installed stays as
// it was. When character handling ends up without a locale ("C"/"POSIX"), it
// becomes C.UTF-8.
void ApplyUserLocale() noexcept;

}  // namespace qv::os
