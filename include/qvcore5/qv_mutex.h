/* Mutexes: plain, checked and measured. All are recursive. */
#ifndef QVCORE5_QV_MUTEX_H
#define QVCORE5_QV_MUTEX_H

#include "qv_base.h"

typedef struct QVMutexObject *QVMUTEX;

#define QV_MUTEX_NOSTATS      0x00000010u
#define QV_MUTEX_SPIN         0x00010000u
#define QV_MUTEX_NONRECURSIVE 0x00020000u
#define QV_MUTEX_STATS        0x00040000u
#define QV_MUTEX_CHECKED      0x80000000u

/* Statistics of a measured mutex; times in microseconds. */
typedef struct QVLockStats {
  int64_t maxAcquireTime;
  int64_t totalAcquireTime;
  int64_t acquireCount;
  int64_t maxHeldTime;
  int64_t totalHeldTime;
  int64_t heldCount;
  int64_t contentionCount;
} QVLockStats;

QV_EXTERN_C_BEGIN

QV_API QVRESULT QVMutexCreate(const char *name, uint32_t flags, QVMUTEX *mutex);
/* Returns the references that remain (0 when deleted), or a failure code. */
QV_API int32_t QVMutexDestroy(QVMUTEX mutex);
QV_API QVRESULT QVMutexAcquire(QVMUTEX mutex);
QV_API QVRESULT QVMutexTryAcquire(QVMUTEX mutex);
QV_API QVRESULT QVMutexRelease(QVMUTEX mutex);
/* Non-zero when the ownership is as expected. */
QV_API int32_t QVMutexAssertOwnership(QVMUTEX mutex, int32_t expectOwned);
QV_API void *QVMutexGetOSMutex(QVMUTEX mutex);

QV_EXTERN_C_END

#endif
