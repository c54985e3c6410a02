/* qvcore5 base types, result codes and the export macro. */
#ifndef QVCORE5_QV_BASE_H
#define QVCORE5_QV_BASE_H

#include <stddef.h>
#include <stdint.h>
#ifndef __cplusplus
#include <uchar.h>
#endif

#if defined(_WIN32)
#  if defined(QV_BUILDING_LIBRARY)
#    define QV_API __declspec(dllexport)
#  else
#    define QV_API __declspec(dllimport)
#  endif
#  define QV_CALL __stdcall
#else
#  define QV_API __attribute__((visibility("default")))
#  define QV_CALL
#endif

#ifdef __cplusplus
#  define QV_EXTERN_C_BEGIN extern "C" {
#  define QV_EXTERN_C_END }
#else
#  define QV_EXTERN_C_BEGIN
#  define QV_EXTERN_C_END
#endif

/* Result code: HRESULT layout, negative on failure. Test with < 0. */
typedef int32_t QVRESULT;

/* 16-bit character unit of every W, UTF16 and UCS2 function, on every platform.
   QV_WCHAR_IS_WCHAR_T selects the Windows choice elsewhere (with a 16-bit
   wchar_t), so that a build can prove both choices compile; on Windows, C++
   callers whose text is char16_t may define QV_WCHAR_IS_CHAR16_T (the same
   units, the exported functions are extern "C"). */
#if (defined(_WIN32) && !defined(QV_WCHAR_IS_CHAR16_T)) || defined(QV_WCHAR_IS_WCHAR_T)
typedef wchar_t QVWCHAR;
#else
typedef char16_t QVWCHAR;
#endif

/* Generic pointer-sized handle; all bits set means "no handle". */
typedef void *QVHANDLE;
#define QV_INVALID_HANDLE ((QVHANDLE)(intptr_t)-1)

#define QV_RESULT(x) ((QVRESULT)(uint32_t)(x))

#define QV_S_OK              0
#define QV_E_NOTIMPL         QV_RESULT(0x80004001u)
#define QV_E_POINTER         QV_RESULT(0x80004003u)
#define QV_E_FAIL            QV_RESULT(0x80004005u)
#define QV_E_NOTINITIALIZED  QV_RESULT(0x80004006u)
#define QV_E_BUFFERTOOSMALL  QV_RESULT(0x80004009u)
#define QV_E_CLASSNOTREG     QV_RESULT(0x80040154u)
#define QV_E_NOTFOUND        QV_RESULT(0x80070002u)
#define QV_E_ACCESSDENIED    QV_RESULT(0x80070005u)
#define QV_E_HANDLE          QV_RESULT(0x80070006u)
#define QV_E_OUTOFMEMORY     QV_RESULT(0x8007000Eu)
#define QV_E_EOF             QV_RESULT(0x80070026u)
#define QV_E_INVALIDARG      QV_RESULT(0x80070057u)
#define QV_E_EXISTS          QV_RESULT(0x800700B7u)
#define QV_E_TIMEOUT         QV_RESULT(0x800705B4u)

#define QV_SUCCEEDED(r) ((QVRESULT)(r) >= 0)
#define QV_FAILED(r) ((QVRESULT)(r) < 0)

QV_EXTERN_C_BEGIN

/* Maps a platform error number (Windows numbering) to a result code: 0 to 0;
   2 and 3, 5, 6, 14, 183, 258 to the codes above; any other to 0x80004005. */
QV_API QVRESULT QVResultFromNative(uint32_t nativeError);

QV_EXTERN_C_END

#endif
