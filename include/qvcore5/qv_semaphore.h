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

/* initialCount 0..QV_SEM_MAX_COUNT. Without QV_SEM_NAMED the name is only kept;
   with it, as QVNamedSemOpen. *semaphore is all ones until the semaphore exists;
   0x80070057 for a count out of range, a null out pointer, or a named one
   without a name or with one too long. The post, wait and try-wait functions
   return 0x80070006 for a null or all-ones handle. */
QV_API QVRESULT QVSemaphoreCreate(int32_t initialCount, const char *name, uint32_t flags, QVSEMAPHORE *semaphore);
/* Accepts null; always 0. */
QV_API QVRESULT QVSemaphoreDestroy(QVSEMAPHORE semaphore);
/* Adds one unit; 0x80004005 when the count would exceed QV_SEM_MAX_COUNT. */
QV_API QVRESULT QVSemaphorePost(QVSEMAPHORE semaphore);
/* Takes one unit, waiting without limit; 0 or a platform failure code. */
QV_API QVRESULT QVSemaphoreWait(QVSEMAPHORE semaphore);
/* 0 when a unit was taken, 0x80004005 when none was available. */
QV_API QVRESULT QVSemaphoreTryWait(QVSEMAPHORE semaphore);
/* A semaphore has no readable count: stores -1 (all ones) and returns 0;
   0x80070057 for a null value pointer. */
QV_API QVRESULT QVSemaphoreGetValue(QVSEMAPHORE semaphore, int32_t *value);

/* Opens the machine-wide semaphore "name" or creates it with the initial
   count; a second opener shares the existing count (its own count is ignored).
   0x80070057 for a null or empty name. The named object lives until its last
   handle in any process is closed. */
QV_API QVRESULT QVNamedSemOpen(const char *name, int32_t initialCount, QVSEMAPHORE *semaphore);
/* The same operations as QVSemaphoreDestroy, Post, Wait, TryWait, GetValue. */
QV_API QVRESULT QVNamedSemClose(QVSEMAPHORE semaphore);
QV_API QVRESULT QVNamedSemPost(QVSEMAPHORE semaphore);
QV_API QVRESULT QVNamedSemWait(QVSEMAPHORE semaphore);
QV_API QVRESULT QVNamedSemTryWait(QVSEMAPHORE semaphore);
QV_API QVRESULT QVNamedSemGetValue(QVSEMAPHORE semaphore, int32_t *value);

/* Returns QV_SHM_S_CREATED (2) when the section was created, 0 when it
   existed, or a failure code: 0x80004005 when QV_SHM_CREATE | QV_SHM_EXCLUSIVE
   finds it existing, 0x80070057 for a null or empty name, otherwise the mapped
   platform code. *section is all ones on failure. `reserved` is not used. */
QV_API QVRESULT QVSharedMemOpen(const char *name, uint32_t flags, uint32_t reserved, uint32_t size,
                                QVHANDLE *section);
/* access: QV_SHM_WRITE or QV_SHM_READ | QV_SHM_WRITE for a writable view,
   QV_SHM_READ for a read-only one; any other value is refused. Maps the whole
   section: 0, or the mapped platform code (*view then unchanged); 0x80070057
   for a null view pointer. */
QV_API QVRESULT QVSharedMemAttach(QVHANDLE section, uint32_t access, void **view);
/* Unmap a view, close a section handle: 0, or the mapped platform code. */
QV_API QVRESULT QVSharedMemDetach(void *view);
QV_API QVRESULT QVSharedMemClose(QVHANDLE section);

/* Windows only: on other platforms 0x80004001 and *accessList = NULL. */
QV_API QVRESULT QVWinBuildRestrictedSD(void *descriptor, uint32_t accessMask, void **accessList);
QV_API void QVWinFreeRestrictedSD(void *accessList);

QV_EXTERN_C_END

#endif
