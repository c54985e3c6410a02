/* String functions in four families and number conversions.

   A      narrow char strings in the C runtime's current locale
   W      16-bit units (QVWCHAR); ASCII handled here, other units go to the
          runtime's wide character functions unit by unit
   UTF16  16-bit units holding UTF-16, surrogate-aware, through ICU
   UCS2   16-bit units, one unit per character

   Strings end with a zero unit. Counts and sizes are in units of the family
   (bytes for A, 16-bit units otherwise) and exclude the terminator unless a
   size says it includes it. Null strings are accepted only where noted. */
#ifndef QVCORE5_QV_STRING_H
#define QVCORE5_QV_STRING_H

#include "qv_base.h"

QV_EXTERN_C_BEGIN

/* Length. QVStrLenUTF16 and QVStrNLenUTF16 are the W functions. */
QV_API uint32_t QVStrLenA(const char *string);
QV_API uint32_t QVStrLenW(const QVWCHAR *string);
QV_API uint32_t QVStrLenUTF16(const QVWCHAR *string);
QV_API uint32_t QVStrNLenA(const char *string, uint32_t maxCount);
QV_API uint32_t QVStrNLenW(const QVWCHAR *string, uint32_t maxCount);
QV_API uint32_t QVStrNLenUTF16(const QVWCHAR *string, uint32_t maxCount);

/* Copy and concatenation. The NZ functions take the destination size in
   units including the terminator, write nothing outside it and always
   terminate (a size of 0 writes nothing at all); truncation is silent. */
/* Cpy and Cat return the destination; the plain forms do not check room. */
QV_API char *QVStrCpyA(char *destination, const char *source);
QV_API QVWCHAR *QVStrCpyW(QVWCHAR *destination, const QVWCHAR *source);
/* As strncpy: at most count units, the rest of count padded with zeros, NOT
   terminated when the source has count units or more. */
QV_API char *QVStrNCpyA(char *destination, const char *source, uint32_t count);
QV_API QVWCHAR *QVStrNCpyW(QVWCHAR *destination, const QVWCHAR *source, uint32_t count);
/* Copy at most count units; a null source or destination is accepted. */
QV_API char *QVStrNZCpyA(char *destination, uint32_t destinationSize, const char *source, uint32_t count);
QV_API QVWCHAR *QVStrNZCpyW(QVWCHAR *destination, uint32_t destinationSize, const QVWCHAR *source,
                            uint32_t count);
QV_API QVWCHAR *QVStrNZCpyUTF16(QVWCHAR *destination, uint32_t destinationSize, const QVWCHAR *source,
                                uint32_t count);
QV_API char *QVStrCatA(char *destination, const char *source);
QV_API QVWCHAR *QVStrCatW(QVWCHAR *destination, const QVWCHAR *source);
/* Append at most count units, then always a terminator (room: count + 1). */
QV_API char *QVStrNCatA(char *destination, const char *source, uint32_t count);
QV_API QVWCHAR *QVStrNCatW(QVWCHAR *destination, const QVWCHAR *source, uint32_t count);
/* Append at most count units within destinationSize; null source accepted. */
QV_API char *QVStrNZCatA(char *destination, uint32_t destinationSize, const char *source, uint32_t count);
QV_API QVWCHAR *QVStrNZCatW(QVWCHAR *destination, uint32_t destinationSize, const QVWCHAR *source,
                            uint32_t count);
QV_API QVWCHAR *QVStrNZCatUTF16(QVWCHAR *destination, uint32_t destinationSize, const QVWCHAR *source,
                                uint32_t count);
/* Concatenates `count` narrow strings (null ones add nothing) into the
   unbounded destination; returns the bytes written. A null destination
   returns 0. */
QV_API int32_t QVStrCpyCatA(char *destination, int32_t count, ...);

/* Duplication: null for a null string or when memory runs out. Free the copy
   with QVStrFreeA or QVStrFreeW (one function under two names), not QVFree.
   The N forms copy at most maxCount units and always terminate. */
QV_API char *QVStrDupA(const char *string);
QV_API QVWCHAR *QVStrDupW(const QVWCHAR *string);
QV_API char *QVStrNDupA(const char *string, uint32_t maxCount);
QV_API QVWCHAR *QVStrNDupW(const QVWCHAR *string, uint32_t maxCount);
QV_API void QVStrFreeA(void *string);
QV_API void QVStrFreeW(void *string);

/* Comparison: negative, zero or positive; N forms compare at most count
   units. The I forms ignore case: A and W through the C runtime's locale
   beyond ASCII, UCS2 for ASCII only, UTF16 by full case folding. */
QV_API int32_t QVStrCmpA(const char *first, const char *second);
QV_API int32_t QVStrCmpW(const QVWCHAR *first, const QVWCHAR *second); /* exactly -1, 0, 1 */
QV_API int32_t QVStrCmpUCS2(const QVWCHAR *first, const QVWCHAR *second); /* unit difference */
QV_API int32_t QVStrCmpUTF16(const QVWCHAR *first, const QVWCHAR *second); /* code point order */
QV_API int32_t QVStrNCmpA(const char *first, const char *second, uint32_t count);
QV_API int32_t QVStrNCmpW(const QVWCHAR *first, const QVWCHAR *second, uint32_t count);
QV_API int32_t QVStrNCmpUTF16(const QVWCHAR *first, const QVWCHAR *second, uint32_t count);
QV_API int32_t QVStrICmpA(const char *first, const char *second);
QV_API int32_t QVStrICmpW(const QVWCHAR *first, const QVWCHAR *second);
QV_API int32_t QVStrICmpUCS2(const QVWCHAR *first, const QVWCHAR *second);
QV_API int32_t QVStrICmpUTF16(const QVWCHAR *first, const QVWCHAR *second);
QV_API int32_t QVStrNICmpA(const char *first, const char *second, uint32_t count);
QV_API int32_t QVStrNICmpW(const QVWCHAR *first, const QVWCHAR *second, uint32_t count);
QV_API int32_t QVStrNICmpUTF16(const QVWCHAR *first, const QVWCHAR *second, uint32_t count);

/* Search: a pointer into the searched string, or null. Chr finds the first,
   RChr the last occurrence; StrStr the first
   occurrence of substring, the string itself for an empty one. The UTF16 forms
   take a code point and return null above 0x10FFFF. */
QV_API char *QVStrChrA(const char *string, int32_t character);
QV_API QVWCHAR *QVStrChrW(const QVWCHAR *string, QVWCHAR character);
QV_API QVWCHAR *QVStrChrUCS2(const QVWCHAR *string, QVWCHAR unit);
QV_API QVWCHAR *QVStrChrUTF16(const QVWCHAR *string, uint32_t codePoint);
QV_API char *QVStrRChrA(const char *string, int32_t character);
QV_API QVWCHAR *QVStrRChrW(const QVWCHAR *string, QVWCHAR character);
QV_API QVWCHAR *QVStrRChrUCS2(const QVWCHAR *string, QVWCHAR unit);
QV_API QVWCHAR *QVStrRChrUTF16(const QVWCHAR *string, uint32_t codePoint);
QV_API char *QVStrStrA(const char *string, const char *substring);
QV_API QVWCHAR *QVStrStrW(const QVWCHAR *string, const QVWCHAR *substring);
QV_API QVWCHAR *QVStrStrUTF16(const QVWCHAR *string, const QVWCHAR *substring);

/* Re-entrant tokeniser: *cursor is the rest of the string (set it to the
   string to split first); the string is modified. Returns the next token or
   null, and sets *cursor to null after the last token. A null *cursor gives
   null; null delimiters count as none. */
QV_API char *QVStrTokA(char **cursor, const char *delimiters);
QV_API QVWCHAR *QVStrTokW(QVWCHAR **cursor, const QVWCHAR *delimiters);

/* Case conversion in place; each returns the string it was given. A and W
   map ASCII themselves and the rest through the C runtime's locale; UTF16
   uses ICU's full mapping for the default locale. */
QV_API char *QVStrToLowerA(char *string);
QV_API char *QVStrToUpperA(char *string);
QV_API QVWCHAR *QVStrToLowerW(QVWCHAR *string);
QV_API QVWCHAR *QVStrToUpperW(QVWCHAR *string);
QV_API QVWCHAR *QVStrToLowerUTF16(QVWCHAR *string);
QV_API QVWCHAR *QVStrToUpperUTF16(QVWCHAR *string);

/* Single characters, ASCII directly, the rest through the C runtime's
   locale. The class tests return 1 or 0. */
QV_API char QVToLowerA(int32_t character);
QV_API char QVToUpperA(int32_t character);
QV_API QVWCHAR QVToLowerW(QVWCHAR character);
QV_API QVWCHAR QVToUpperW(QVWCHAR character);
QV_API int16_t QVIsAlphaA(int32_t character);
QV_API int16_t QVIsAlphaW(QVWCHAR character);
QV_API int16_t QVIsDigitA(int32_t character);
QV_API int16_t QVIsDigitW(QVWCHAR character);
QV_API int16_t QVIsSpaceA(int32_t character);
QV_API int16_t QVIsSpaceW(QVWCHAR character);

/* Number conversions with the Windows meanings: "long" is 32 bits. The
   to-text functions take a radix of 2..36, write lower-case digits and a minus
   sign only in radix 10 (other radixes show the two's complement), and return
   the buffer; a radix out of range writes an empty string. The buffer needs
   33 (32-bit) or 65 (64-bit) units, terminator included. */
QV_API char *QVLToStrA(int32_t value, char *buffer, int32_t radix);
QV_API QVWCHAR *QVLToStrW(int32_t value, QVWCHAR *buffer, int32_t radix);
QV_API char *QVInt64ToStrA(int64_t value, char *buffer, int32_t radix);
QV_API QVWCHAR *QVInt64ToStrW(int64_t value, QVWCHAR *buffer, int32_t radix);
/* Text to number as atoi, strtol, strtoul, strtoll, strtoull, strtod: leading
   white space, sign and base prefixes as the C runtime reads them; the strto
   forms saturate and set errno to ERANGE on overflow, the ato forms do not
   detect it. A null string gives 0 (and a null *end). */
QV_API int32_t QVStrToIA(const char *string);
QV_API int32_t QVStrToIW(const QVWCHAR *string);
QV_API int64_t QVStrToI64W(const QVWCHAR *string);
QV_API int32_t QVStrToLA(const char *string, char **end, int32_t base);
QV_API int32_t QVStrToLW(const QVWCHAR *string, QVWCHAR **end, int32_t base);
QV_API int64_t QVStrToLLA(const char *string, char **end, int32_t base);
QV_API int64_t QVStrToLLW(const QVWCHAR *string, QVWCHAR **end, int32_t base);
QV_API uint32_t QVStrToULA(const char *string, char **end, int32_t base);
QV_API uint32_t QVStrToULW(const QVWCHAR *string, QVWCHAR **end, int32_t base);
QV_API uint64_t QVStrToULLA(const char *string, char **end, int32_t base);
QV_API double QVStrToDA(const char *string, char **end);
QV_API double QVStrToDW(const QVWCHAR *string, QVWCHAR **end);

QV_EXTERN_C_END

#endif
