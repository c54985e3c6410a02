// The user's default locale as the platform describes it.
#pragma once
#include <cstdint>
#include <string_view>

namespace qv::text {

// Identifier of a POSIX locale name ("de_DE.UTF-8@euro"): codeset and
// modifier are dropped; "C" and "POSIX" are en_US; then the whole name, else
// its language, must be a name of the mapping; otherwise en_US.
uint32_t LocaleIdFromPosixName(std::string_view posixName) noexcept;

// The user's locale identifier, from the first non-empty of LC_ALL,
// LC_MESSAGES and LANG, read anew at every call.
uint32_t UserDefaultLocaleId();

}  // namespace qv::text
