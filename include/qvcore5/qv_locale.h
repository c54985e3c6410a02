/* The user's default locale and narrow character encoding, as names that ICU
   and the other libraries of the family understand. */
#ifndef QVCORE5_QV_LOCALE_H
#define QVCORE5_QV_LOCALE_H

#include "qv_base.h"

QV_EXTERN_C_BEGIN

/* Writes the locale name ("en_US", "de_DE", "es__TRADITIONAL", ...) and fills
   the rest of the capacity with zeros. 0x80004009 (buffer left untouched) when
   the name and its terminator do not fit; 0x80070057 for a null buffer. */
QV_API QVRESULT QVGetDefaultLocale(QVWCHAR *buffer, uint32_t capacity);

/* Writes "UTF-8" or "CP" and the code page number ("CP1252", "CP20127").
   The capacity must be at least 8 (0x80004009 otherwise); 0x80070057 for a
   null buffer. */
QV_API QVRESULT QVGetDefaultCharEncoding(QVWCHAR *buffer, int32_t capacity);

QV_EXTERN_C_END

#endif
