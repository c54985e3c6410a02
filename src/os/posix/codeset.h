// Text at the seam is UTF-16; the C library speaks the locale's narrow
// codeset. These convert between the two inside the POSIX backend (private).
#pragma once
#include <string>
#include <string_view>

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
