/* Memory, atomics, byte order, sleep and debugger break. */
#ifndef QVCORE5_QV_MEMORY_H
#define QVCORE5_QV_MEMORY_H

#include "qv_base.h"

QV_EXTERN_C_BEGIN

/* One heap: blocks from any of these may go to any other and to QVFree.
   They return 0x80070057 for a null block pointer and 0x8007000E when the
   heap is exhausted. */
/* *block receives the new block, or null on failure. */
QV_API QVRESULT QVMalloc(uint32_t size, void **block);
/* A zero-filled block; a total beyond 32 bits fails with 0x8007000E. */
QV_API QVRESULT QVCalloc(uint32_t count, uint32_t elementSize, void **block);
/* Resizes *block in place or by moving it: a null *block allocates, size 0
   frees and stores null. On failure *block is unchanged and still valid. */
QV_API QVRESULT QVRealloc(void **block, uint32_t size);
/* As QVRealloc, and the bytes the block gains read as zero. */
QV_API QVRESULT QVRecalloc(void **block, uint32_t size);
/* Usable bytes of a block, at least the size asked for; 0 for null. */
QV_API uint32_t QVMallocSize(void *block);
/* Accepts null; always 0. */
QV_API QVRESULT QVFree(void *block);
/* size rounded up to a multiple of 4. */
QV_API uint32_t QVGetAlignedSize(uint32_t size);

/* Full-barrier atomics; they return values, not result codes: the new value
   for increment, decrement and the adds, the previous one for the exchanges.
   QVAtomicCompareExchange stores newValue only when *value equals comparand. */
QV_API int32_t QVAtomicIncrement(int32_t *value);
QV_API int32_t QVAtomicDecrement(int32_t *value);
QV_API int32_t QVAtomicAdd32(int32_t *value, int32_t addend);
QV_API size_t QVAtomicAddSZ(size_t *value, size_t addend);
QV_API int32_t QVAtomicExchange(int32_t *value, int32_t newValue);
QV_API int32_t QVAtomicCompareExchange(int32_t *value, int32_t newValue, int32_t comparand);

/* Reverse the byte order. */
QV_API uint16_t QVSwapInt16(uint16_t value);
QV_API uint32_t QVSwapInt32(uint32_t value);
QV_API uint64_t QVSwapInt64(uint64_t value);
/* Read or write native-order integers at any address (the 16-bit read is
   zero-extended). */
QV_API uint32_t QVGetUnalignedInt16(const void *address);
QV_API uint32_t QVGetUnalignedInt32(const void *address);
QV_API uint64_t QVGetUnalignedInt64(const void *address);
QV_API void QVPutUnalignedInt16(void *address, uint16_t value);
QV_API void QVPutUnalignedInt32(void *address, uint32_t value);
QV_API void QVPutUnalignedInt64(void *address, uint64_t value);

/* Blocks the calling thread at least that long; 0 only yields the processor. */
QV_API void QVSleep(uint32_t milliseconds);
/* Raises the breakpoint trap: without a debugger the process ends. */
QV_API void QVDebugBreak(void);

QV_EXTERN_C_END

#endif
