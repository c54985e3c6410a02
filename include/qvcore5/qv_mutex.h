/* Mutexes: plain, checked and measured. All are recursive. */
#ifndef QVCORE5_QV_MUTEX_H
#define QVCORE5_QV_MUTEX_H

#include "qv_base.h"

typedef struct QVMutexObject *QVMUTEX;

/* Creation flags. NONRECURSIVE protects only together with CHECKED. */
#define QV_MUTEX_NOSTATS      0x00000010u /* never measure: cancels QV_MUTEX_STATS */
#define QV_MUTEX_SPIN         0x00010000u /* spin a while before blocking */
#define QV_MUTEX_NONRECURSIVE 0x00020000u /* the owner may not acquire again */
#define QV_MUTEX_STATS        0x00040000u /* measure waits and holds (qv_lockstats.h) */
#define QV_MUTEX_CHECKED      0x80000000u /* check owner and depth on acquire and release */

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

/* name may be null; it labels the statistics. *mutex is all ones until the
   mutex exists; 0x80070057 for a null mutex pointer, 0x80004005 before the
   library has started. Only a null or all-ones handle is detected later on:
   any other stale handle is the caller's fault. */
QV_API QVRESULT QVMutexCreate(const char *name, uint32_t flags, QVMUTEX *mutex);
/* Returns the references that remain (0 when deleted), or 0x80070006 for a null
   or all-ones handle. A measured mutex stays readable until QVResetLockStats. */
QV_API int32_t QVMutexDestroy(QVMUTEX mutex);
/* Waits without limit; the owner may acquire again and releases once per
   acquisition. 0x80070006 for a null or all-ones handle; 0x80004005 (and the
   alert) when a checked non-recursive mutex's owner asks again. */
QV_API QVRESULT QVMutexAcquire(QVMUTEX mutex);
/* As QVMutexAcquire without waiting: 0x80004005 when another thread holds it. */
QV_API QVRESULT QVMutexTryAcquire(QVMUTEX mutex);
/* Gives back one acquisition. A checked mutex refuses a thread that does not hold
   it with 0x80004005 (and the alert); a plain one does not check. */
QV_API QVRESULT QVMutexRelease(QVMUTEX mutex);
/* Non-zero when the calling thread's ownership is as expected; only a checked
   mutex knows its owner, the others always answer 1. 0 for a bad handle. */
QV_API int32_t QVMutexAssertOwnership(QVMUTEX mutex, int32_t expectOwned);
/* The platform lock inside (a pthread_mutex_t * on POSIX, a critical section
   on Windows), for platform calls that take one; null for a bad handle. */
QV_API void *QVMutexGetOSMutex(QVMUTEX mutex);

QV_EXTERN_C_END

#endif
