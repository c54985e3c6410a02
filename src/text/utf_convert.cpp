// UTF-8 <-> UTF-16 through ICU, and the small UTF-16 and byte-order-mark
// helpers.
#include <unicode/ustring.h>

#include <cerrno>

#include "qvcore5/qv_encoding.h"
#include "text/utf16.h"
#include "base/wide.h"

using qv::WChar;

namespace {

// ICU stores the full length on success and when the output was cut
// (buffer overflow); any other failure gives the capacity back.
inline int32_t LengthOrCapacity(UErrorCode status, int32_t length, int32_t capacity) noexcept {
  return (U_SUCCESS(status) || status == U_BUFFER_OVERFLOW_ERROR) ? length : capacity;
}

// As mbstowcs and wcstombs, a text that cannot be converted sets EILSEQ.
inline void NoteUnconvertible(UErrorCode status) noexcept {
  if (status == U_INVALID_CHAR_FOUND || status == U_ILLEGAL_CHAR_FOUND || status == U_TRUNCATED_CHAR_FOUND)
    errno = EILSEQ;
}

constexpr char kUtf8Bom[] = "\xEF\xBB\xBF";

}  // namespace

extern "C" {

const char* const QVUtf8BomStr = kUtf8Bom;  // exported by its declaration

QV_API int32_t QVUTF16ToUTF8(char* destination, const QVWCHAR* source, int32_t capacity) {
  int32_t length = capacity;
  UErrorCode status = U_ZERO_ERROR;
  u_strToUTF8(destination, capacity, &length, qv::Wide(source), -1, &status);
  NoteUnconvertible(status);
  return LengthOrCapacity(status, length, capacity);
}

QV_API int32_t QVUTF8ToUTF16(QVWCHAR* destination, const char* source, int32_t capacity) {
  int32_t length = capacity;
  UErrorCode status = U_ZERO_ERROR;
  u_strFromUTF8(qv::Wide(destination), capacity, &length, source, -1, &status);
  NoteUnconvertible(status);
  return LengthOrCapacity(status, length, capacity);
}

QV_API char* QVUTF16ToUTF8N(char* destination, int32_t capacity, int32_t* length, const QVWCHAR* source,
                            int32_t sourceLength) {
  if (length != nullptr) *length = 0;
  UErrorCode status = U_ZERO_ERROR;
  char* result = u_strToUTF8(destination, capacity, length, qv::Wide(source), sourceLength, &status);
  NoteUnconvertible(status);
  return result;
}

QV_API QVWCHAR* QVUTF8ToUTF16N(QVWCHAR* destination, int32_t capacity, int32_t* length, const char* source,
                               int32_t sourceLength) {
  if (length != nullptr) *length = 0;
  UErrorCode status = U_ZERO_ERROR;
  WChar* result = u_strFromUTF8(qv::Wide(destination), capacity, length, source, sourceLength, &status);
  NoteUnconvertible(status);
  return qv::Api(result);
}

// Byte by byte, so a text shorter than the mark is never read past its end.
QV_API int32_t QVIsUtf8BomStr(const char* text) {
  if (text == nullptr) return 0;
  for (int i = 0; i < 3; ++i)
    if (text[i] != QVUtf8BomStr[i]) return 0;
  return 1;
}

QV_API uint32_t QVNextCharUTF16(const QVWCHAR** text, int32_t available) {
  if (text == nullptr || *text == nullptr) return 0;
  if (available == -1) available = 2;
  if (available <= 0) return 0;
  const WChar* p = qv::Wide(*text);
  uint32_t unit = p[0];
  if (qv::text::IsLead(unit) && available >= 2 && qv::text::IsTrail(p[1])) {
    *text = qv::Api(p + 2);
    return qv::text::Combine(unit, p[1]);
  }
  *text = qv::Api(p + 1);
  return unit;
}

QV_API int32_t QVCountCharUTF16(const QVWCHAR* text) { return text != nullptr ? u_countChar32(qv::Wide(text), -1) : 0; }

}  // extern "C"
