/* Path expansion: the full path the platform would open for a given path. */
#ifndef QVCORE5_QV_PATH_H
#define QVCORE5_QV_PATH_H

#include "qv_base.h"

QV_EXTERN_C_BEGIN

/* Writes the full path of `path` (relative paths are taken from the current
   directory; "." and ".." are resolved as text, the file need not exist).
   capacity counts wide characters, terminator included. 0x80004009 when the
   full path does not fit (the buffer then holds an empty string); 0x80070057
   for a null or empty path or a null buffer. */
QV_API QVRESULT QVPathExpand(const QVWCHAR *path, QVWCHAR *buffer, uint32_t capacity);

QV_EXTERN_C_END

#endif
