/* Semaphores (in-process and machine-wide named ones), named shared-memory
   sections, and the restricted security descriptor of named objects. */
#ifndef QVCORE5_QV_SEMAPHORE_H
#define QVCORE5_QV_SEMAPHORE_H

#include "qv_base.h"

typedef struct QVSemaphoreObject *QVSEMAPHORE;

/* Largest count of every semaphore; posting beyond it fails. */
#define QV_SEM_MAX_COUNT 32767
/* QVSemaphoreCreate flag: machine-wide, named semaphore. */
#define QV_SEM_NAMED 0x00000002u

/* QVSharedMemOpen flags. QV_SHM_EXCLUSIVE alone also creates; together with
   QV_SHM_CREATE the open fails when the section exists already. */
#define QV_SHM_READ      0x80000000u
#define QV_SHM_WRITE     0x40000000u
#define QV_SHM_CREATE    0x00000100u
#define QV_SHM_EXCLUSIVE 0x00000400u
/* QVSharedMemOpen's success value when it created the section (0: it existed). */
#define QV_SHM_S_CREATED 2

QV_EXTERN_C_BEGIN

QV_API QVRESULT QVSemaphoreCreate(int32_t initialCount, const char *name, uint32_t flags, QVSEMAPHORE *semaphore);
/* Accepts null; always 0. */
QV_API QVRESULT QVSemaphoreDestroy(QVSEMAPHORE semaphore);
QV_API QVRESULT QVSemaphorePost(QVSEMAPHORE semaphore);
QV_API QVRESULT QVSemaphoreWait(QVSEMAPHORE semaphore);
/* 0 when a unit was taken, 0x80004005 when none was available. */
QV_API QVRESULT QVSemaphoreTryWait(QVSEMAPHORE semaphore);
/* A semaphore has no readable count: stores -1 (all ones). */
QV_API QVRESULT QVSemaphoreGetValue(QVSEMAPHORE semaphore, int32_t *value);

/* Opens the machine-wide semaphore "name" or creates it with the initial
   count; a second opener shares the existing count. */
QV_API QVRESULT QVNamedSemOpen(const char *name, int32_t initialCount, QVSEMAPHORE *semaphore);
QV_API QVRESULT QVNamedSemClose(QVSEMAPHORE semaphore);
QV_API QVRESULT QVNamedSemPost(QVSEMAPHORE semaphore);
QV_API QVRESULT QVNamedSemWait(QVSEMAPHORE semaphore);
QV_API QVRESULT QVNamedSemTryWait(QVSEMAPHORE semaphore);
QV_API QVRESULT QVNamedSemGetValue(QVSEMAPHORE semaphore, int32_t *value);

/* Returns QV_SHM_S_CREATED (2) when the section was created, 0 when it
   existed, or a failure code. `reserved` is not used. */
QV_API QVRESULT QVSharedMemOpen(const char *name, uint32_t flags, uint32_t reserved, uint32_t size,
                                QVHANDLE *section);
/* access: QV_SHM_WRITE or QV_SHM_READ | QV_SHM_WRITE for a writable view,
   QV_SHM_READ for a read-only one. */
QV_API QVRESULT QVSharedMemAttach(QVHANDLE section, uint32_t access, void **view);
QV_API QVRESULT QVSharedMemDetach(void *view);
QV_API QVRESULT QVSharedMemClose(QVHANDLE section);

/* Windows only: on other platforms 0x80004001 and *accessList = NULL. */
QV_API QVRESULT QVWinBuildRestrictedSD(void *descriptor, uint32_t accessMask, void **accessList);
QV_API void QVWinFreeRestrictedSD(void *accessList);

QV_EXTERN_C_END

#endif
