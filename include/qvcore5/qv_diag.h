/* Diagnostics: error alert, assertion report, trace to the debugger output. */
#ifndef QVCORE5_QV_DIAG_H
#define QVCORE5_QV_DIAG_H

#include "qv_base.h"

/* Alert method bits. */
#define QV_ALERT_FORMAT  0x1u
#define QV_ALERT_BREAK   0x2u
#define QV_ALERT_WAIT    0x4u
#define QV_ALERT_MESSAGE 0x8u

QV_EXTERN_C_BEGIN

/* Format strings use the Windows wide meanings: %s and %ls wide, %hs narrow,
   l is 32 bits, ll and I64 are 64 bits. Output is cut at 511 units. */
QV_API void QVErrorAlert(uint32_t method, const QVWCHAR *caption, const QVWCHAR *format, ...);
QV_API QVRESULT QVErrorAlertSetMethod(uint32_t method);
QV_API void QVAssert(const char *expression, const char *file, int32_t line);
QV_API void QVTrace(const QVWCHAR *format, ...);

QV_EXTERN_C_END

#endif
