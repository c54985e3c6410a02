// The locale codeset on the POSIX side (private to the backend).
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace qv::os {

// Code page for a codeset name as nl_langinfo(CODESET) reports it; case,
// '-' and '_' are ignored. A codeset without a code page gives 20127 (ASCII,
// the part every locale codeset of the C library shares).
uint32_t CodePageFromCodeset(const char* codeset) noexcept;

}  // namespace qv::os

// Text at the seam is UTF-16; the C library speaks the locale's narrow
// codeset. These convert between the two inside the POSIX backend (private).

namespace qv::os::posix {

// Exact conversions, for names that are used again (paths, variables, user
// and host names): false with last error 1113 when a byte sequence is no
// character of the codeset, or a unit (an unpaired surrogate included) has no
// narrow form. A replacement character would name something else.
bool NarrowToUtf16Exact(std::string_view narrow, std::u16string& wide);
bool Utf16ToNarrowExact(std::u16string_view wide, std::string& narrow);

// For text only shown (zone names): an undecodable byte becomes U+FFFD.
std::u16string NarrowToUtf16Shown(std::string_view narrow);

}  // namespace qv::os::posix
