/* Memory, atomics, byte order, sleep and debugger break. */
#ifndef QVCORE5_QV_MEMORY_H
#define QVCORE5_QV_MEMORY_H

#include "qv_base.h"

QV_EXTERN_C_BEGIN

/* One heap: blocks from any of these may go to any other and to QVFree. */
QV_API QVRESULT QVMalloc(uint32_t size, void **block);
QV_API QVRESULT QVCalloc(uint32_t count, uint32_t elementSize, void **block);
QV_API QVRESULT QVRealloc(void **block, uint32_t size);
QV_API QVRESULT QVRecalloc(void **block, uint32_t size);
QV_API uint32_t QVMallocSize(void *block);
QV_API QVRESULT QVFree(void *block);
QV_API uint32_t QVGetAlignedSize(uint32_t size);

/* Full-barrier atomics; they return values, not result codes. */
QV_API int32_t QVAtomicIncrement(int32_t *value);
QV_API int32_t QVAtomicDecrement(int32_t *value);
QV_API int32_t QVAtomicAdd32(int32_t *value, int32_t addend);
QV_API size_t QVAtomicAddSZ(size_t *value, size_t addend);
QV_API int32_t QVAtomicExchange(int32_t *value, int32_t newValue);
QV_API int32_t QVAtomicCompareExchange(int32_t *value, int32_t newValue, int32_t comparand);

QV_API uint16_t QVSwapInt16(uint16_t value);
QV_API uint32_t QVSwapInt32(uint32_t value);
QV_API uint64_t QVSwapInt64(uint64_t value);
QV_API uint32_t QVGetUnalignedInt16(const void *address);
QV_API uint32_t QVGetUnalignedInt32(const void *address);
QV_API uint64_t QVGetUnalignedInt64(const void *address);
QV_API void QVPutUnalignedInt16(void *address, uint16_t value);
QV_API void QVPutUnalignedInt32(void *address, uint32_t value);
QV_API void QVPutUnalignedInt64(void *address, uint64_t value);

QV_API void QVSleep(uint32_t milliseconds);
QV_API void QVDebugBreak(void);

QV_EXTERN_C_END

#endif
