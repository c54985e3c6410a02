/* Diagnostics: error alert, assertion report, trace to the debugger output. */
#ifndef QVCORE5_QV_DIAG_H
#define QVCORE5_QV_DIAG_H

#include "qv_base.h"

/* Alert method bits; none set means no reaction. */
#define QV_ALERT_FORMAT  0x1u /* format and show the text */
#define QV_ALERT_BREAK   0x2u /* breakpoint trap first (ends the process without a debugger) */
#define QV_ALERT_WAIT    0x4u /* block the calling thread until a debugger releases it */
#define QV_ALERT_MESSAGE 0x8u /* as QV_ALERT_FORMAT */

QV_EXTERN_C_BEGIN

/* Format strings use the Windows wide meanings: %s and %ls wide, %hs narrow,
   l is 32 bits, ll and I64 are 64 bits. Output is cut at 511 units. */

/* Reacts to a fault as method says (0: the process default, itself 0 until
   set, so nothing happens). Formatted alerts are written as one line,
   caption ": " text, to the debugger output (standard error on POSIX). */
QV_API void QVErrorAlert(uint32_t method, const QVWCHAR *caption, const QVWCHAR *format, ...);
/* Sets the process default used by method 0, for the life of the process;
   always 0. */
QV_API QVRESULT QVErrorAlertSetMethod(uint32_t method);
/* For assertion macros when an expression is false: traces it, then alerts;
   with no default method set it breaks (ending the process without a
   debugger). */
QV_API void QVAssert(const char *expression, const char *file, int32_t line);
/* Writes "[0x<thread id>]" and the formatted text to the debugger output as
   one piece; no newline is added. */
QV_API void QVTrace(const QVWCHAR *format, ...);

QV_EXTERN_C_END

#endif
