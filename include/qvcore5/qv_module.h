/* Modules: libraries that use qvcore5 mark themselves initialized. */
#ifndef QVCORE5_QV_MODULE_H
#define QVCORE5_QV_MODULE_H

#include "qv_base.h"

typedef uintptr_t QVMODULEID;

QV_EXTERN_C_BEGIN

/* Non-zero marks the module initialized, 0 marks it not; the module variants
   of the library functions work only for initialized modules. Idempotent, not
   counted. 0, or 0x80004005 before the library has started. */
QV_API QVRESULT QVModuleSetInitialized(QVMODULEID module, int32_t initialized);

QV_EXTERN_C_END

#endif
