/* Conversions between UTF-8, UTF-16 and the narrow encoding of the C
   runtime's current locale; UTF-16 and byte-order-mark helpers. */
#ifndef QVCORE5_QV_ENCODING_H
#define QVCORE5_QV_ENCODING_H

#include "qv_base.h"

QV_EXTERN_C_BEGIN

/* The UTF-8 byte-order mark EF BB BF, zero-terminated. */
QV_API extern const char *const QVUtf8BomStr;

/* Whole conversions of zero-terminated text, without substitution: ill-formed
   input fails. They return the length of the whole result (also when it is
   larger than the capacity: the output is then cut and unterminated; equal to
   the capacity: unterminated), or the capacity passed in on failure. A null
   destination with capacity 0 measures. */
QV_API int32_t QVUTF16ToUTF8(char *destination, const QVWCHAR *source, int32_t capacity);
QV_API int32_t QVUTF8ToUTF16(QVWCHAR *destination, const char *source, int32_t capacity);

/* As above with a source length (-1: zero-terminated). They return the
   destination (also when it was too small: *length then exceeds the
   capacity) or null on failure. length may be null; it is set to 0 first. */
QV_API char *QVUTF16ToUTF8N(char *destination, int32_t capacity, int32_t *length, const QVWCHAR *source,
                            int32_t sourceLength);
QV_API QVWCHAR *QVUTF8ToUTF16N(QVWCHAR *destination, int32_t capacity, int32_t *length, const char *source,
                               int32_t sourceLength);

/* mbstowcs / wcstombs with UTF-16 on the wide side: units (bytes) written or,
   with a null destination, needed, without the terminator, which is written
   only when it fits; (size_t)-1 when a character cannot be converted. */
QV_API size_t QVAnsiToUnicode(QVWCHAR *destination, const char *source, size_t capacity);
QV_API size_t QVUnicodeToAnsi(char *destination, const QVWCHAR *source, size_t capacity);

/* 1 when the text starts with the UTF-8 byte-order mark, else 0. */
QV_API int32_t QVIsUtf8BomStr(const char *text);

/* The code point at *text, advancing *text past it; available is the number
   of units left (-1: unknown). 0 without moving when nothing is available. */
QV_API uint32_t QVNextCharUTF16(const QVWCHAR **text, int32_t available);
/* Code points in zero-terminated text (an unpaired surrogate counts as one). */
QV_API int32_t QVCountCharUTF16(const QVWCHAR *text);

QV_EXTERN_C_END

#endif
