/* Modules: libraries that use qvcore5 mark themselves initialized. */
#ifndef QVCORE5_QV_MODULE_H
#define QVCORE5_QV_MODULE_H

#include "qv_base.h"

typedef uintptr_t QVMODULEID;

QV_EXTERN_C_BEGIN

QV_API QVRESULT QVModuleSetInitialized(QVMODULEID module, int32_t initialized);

QV_EXTERN_C_END

#endif
