// Damaged GUID texts. The input, as 16-bit units, is copied into an exactly
// sized terminated buffer, so ASan sees any read past the terminator. Checked:
// the result is 0 or 0x80070057, a refused text leaves the output untouched,
// and an accepted one formats back to the same digits (case aside).
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "qvcore5/qvcore.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<char16_t> text(size / 2 + 1, 0);
  std::memcpy(text.data(), data, size / 2 * 2);
  const QVGUID marker = {0xA5A5A5A5u, 0xA5A5, 0xA5A5, {0xA5, 0xA5, 0xA5, 0xA5, 0xA5, 0xA5, 0xA5, 0xA5}};
  QVGUID guid = marker;
  QVRESULT r = QVComGUIDFromString(reinterpret_cast<const QVWCHAR*>(text.data()), &guid);
  if (r != QV_S_OK && r != QV_E_INVALIDARG) std::abort();
  if (r != QV_S_OK) {
    if (std::memcmp(&guid, &marker, sizeof guid) != 0) std::abort();
    return 0;
  }
  char16_t formatted[39];
  QVComStringFromGUID(&guid, reinterpret_cast<QVWCHAR*>(formatted), 39);
  const char16_t* digits = text[0] == u'{' ? text.data() + 1 : text.data();
  for (int i = 0; i < 36; ++i) {
    char16_t c = digits[i];
    if (c >= u'a' && c <= u'f') c = static_cast<char16_t>(c - u'a' + u'A');
    if (c != formatted[i + 1]) std::abort();
  }
  return 0;
}
