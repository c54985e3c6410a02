/* Reader-writer lock for the threads of one process. Writers are preferred over
   new readers; a thread that already reads may take further reads while a writer
   waits; the only reader may take the write lock; the writer may take reads,
   which it keeps after releasing the write lock. */
#ifndef QVCORE5_QV_RWLOCK_H
#define QVCORE5_QV_RWLOCK_H

#include "qv_base.h"

typedef struct QVRWLockObject *QVRWLOCK;

QV_EXTERN_C_BEGIN

/* name may be null; flags have no effect. *lock is all ones until the lock
   exists; 0x80070057 for a null lock pointer. The functions below return
   0x80070006 for a null or all-ones handle. */
QV_API QVRESULT QVRWLockCreate(const char *name, uint32_t flags, QVRWLOCK *lock);
/* Accepts null; always 0. Destroying a held lock is the caller's fault. */
QV_API QVRESULT QVRWLockDestroy(QVRWLOCK lock);
/* Waits while a writer holds the lock or waits for it, unless the caller
   already reads or writes; 0, or a platform failure code. */
QV_API QVRESULT QVRWLockAcquireRead(QVRWLOCK lock);
/* A thread that reads and asks for the write lock while another writer is
   waiting gets 0x80004005 at once (waiting would never end); it should release
   its reads and try again. Otherwise waits until no other thread reads. */
QV_API QVRESULT QVRWLockAcquireWrite(QVRWLOCK lock);
/* Give back one hold; 0x80004005 when the calling thread holds nothing of
   that kind. */
QV_API QVRESULT QVRWLockReleaseRead(QVRWLOCK lock);
QV_API QVRESULT QVRWLockReleaseWrite(QVRWLOCK lock);
/* As the acquisitions without waiting: 0x80004005 when the hold is not
   available at once (nothing is then held or left pending). */
QV_API QVRESULT QVRWLockTryAcquireRead(QVRWLOCK lock);
QV_API QVRESULT QVRWLockTryAcquireWrite(QVRWLOCK lock);

QV_EXTERN_C_END

#endif
