/* Threads started for the caller and tracked by the library until they have
   ended and been joined or detached. A thread is named by its identifier. */
#ifndef QVCORE5_QV_THREAD_H
#define QVCORE5_QV_THREAD_H

#include "qv_base.h"

/* A thread's start routine; its result becomes the thread's exit code. */
typedef uint32_t(QV_CALL *QVTHREADPROC)(void *argument);

QV_EXTERN_C_BEGIN

/* `options` is accepted and ignored; stackSize 0 = the platform default.
   On success *thread and *threadId (may be NULL) hold the new thread's
   identifier; on failure *thread is 0xFFFFFFFF and *threadId 0. 0x80070057
   for a null start or thread, 0x80004005 before the library has started.
   Join or detach every thread, or it stays tracked. */
QV_API QVRESULT QVThreadCreate(QVTHREADPROC start, void *argument, uint32_t options, uint32_t stackSize,
                               uint32_t *thread, uint32_t *threadId);
/* Waits for the thread to end, stores its exit code (exitCode may be NULL)
   and stops tracking it. 0x80070006 for an identifier not tracked (unknown,
   or already joined or detached). */
QV_API QVRESULT QVThreadJoin(uint32_t threadId, uint32_t *exitCode);
/* Stops tracking the thread without waiting for it; 0x80070006 as above. */
QV_API QVRESULT QVThreadDetach(uint32_t threadId);
/* 1 when the library no longer tracks the identifier, else 0. */
QV_API int32_t QVThreadIsFinished(uint32_t threadId);
/* The constant value that denotes the calling thread. */
QV_API QVHANDLE QVThreadGetHandle(void);
/* The calling thread's identifier (the one QVThreadCreate hands out). */
QV_API uint32_t QVThreadGetID(void);
/* Gives up the processor; always 0. */
QV_API QVRESULT QVThreadYield(void);
/* Processor affinity is not managed: reports 0 (0x80070057 for a null
   pointer) / does nothing; both return 0. */
QV_API QVRESULT QVGetSetCpuAffinity(uint32_t *affinity);
QV_API QVRESULT QVSetCpuAffinity(uint32_t affinity);

QV_EXTERN_C_END

#endif
