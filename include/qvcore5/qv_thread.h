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
   identifier; on failure *thread is 0xFFFFFFFF and *threadId 0. */
QV_API QVRESULT QVThreadCreate(QVTHREADPROC start, void *argument, uint32_t options, uint32_t stackSize,
                               uint32_t *thread, uint32_t *threadId);
/* exitCode may be NULL. */
QV_API QVRESULT QVThreadJoin(uint32_t threadId, uint32_t *exitCode);
QV_API QVRESULT QVThreadDetach(uint32_t threadId);
/* 1 when the library no longer tracks the identifier, else 0. */
QV_API int32_t QVThreadIsFinished(uint32_t threadId);
/* The constant value that denotes the calling thread. */
QV_API QVHANDLE QVThreadGetHandle(void);
QV_API uint32_t QVThreadGetID(void);
QV_API QVRESULT QVThreadYield(void);
/* Processor affinity is not managed: reports 0 / does nothing. */
QV_API QVRESULT QVGetSetCpuAffinity(uint32_t *affinity);
QV_API QVRESULT QVSetCpuAffinity(uint32_t affinity);

QV_EXTERN_C_END

#endif
