/* Conditions, events and gates: signalling between the threads of one process.
   A condition is a monitor with its own recursive lock. An event and a gate are
   binary signals sharing one set of functions under two names: a gate stays open
   until closed and lets every waiter through; an event lets one waiter through
   and closes itself, unless created with QV_EVENT_MANUAL_RESET. */
#ifndef QVCORE5_QV_SIGNAL_H
#define QVCORE5_QV_SIGNAL_H

#include "qv_base.h"

typedef struct QVConditionObject *QVCONDITION;
typedef struct QVEventObject *QVEVENT;
/* A gate is an event that is always manual-reset; either handle works with
   either set of names. */
typedef QVEVENT QVGATE;

/* Event creation flag: manual reset (the event then behaves like a gate). */
#define QV_EVENT_MANUAL_RESET 0x00000002u

/* Time-outs are milliseconds of a monotonic clock; this value means no limit. */
#ifndef QV_INFINITE
#define QV_INFINITE 0xFFFFFFFFu
#endif

QV_EXTERN_C_BEGIN

/* Every create function: name may be null and is only kept; the out handle is
   all ones until the object exists; 0x80070057 for a null out pointer. Every
   other function except the destroy ones: 0x80070006 for a null or all-ones
   handle, the mapped platform code when the platform fails. */
QV_API QVRESULT QVConditionCreate(const char *name, uint32_t flags, QVCONDITION *condition);
/* Accepts null; always 0. */
QV_API QVRESULT QVConditionDestroy(QVCONDITION condition);
/* The monitor's lock; recursive. Release by a thread that does not hold it: 0x80004005. */
QV_API QVRESULT QVConditionAcquire(QVCONDITION condition);
QV_API QVRESULT QVConditionRelease(QVCONDITION condition);
/* Wake one waiter, or every waiter; 0. A condition keeps no signal: one sent
   with nobody waiting is lost, so test your own predicate under the lock. */
QV_API QVRESULT QVConditionSignal(QVCONDITION condition);
QV_API QVRESULT QVConditionBroadcast(QVCONDITION condition);
/* The caller holds the monitor's lock (0x80004005 otherwise), at any depth: the
   wait releases it completely and restores the depth before returning. */
QV_API QVRESULT QVConditionWait(QVCONDITION condition);
/* 0x800705B4 when the time ran out; the lock is held again in every case. */
QV_API QVRESULT QVConditionTimedWait(QVCONDITION condition, uint32_t timeoutMs);

/* Both start closed. An event takes QV_EVENT_MANUAL_RESET; a gate ignores its
   flags and is always manual-reset. */
QV_API QVRESULT QVEventCreate(const char *name, uint32_t flags, QVEVENT *event);
QV_API QVRESULT QVGateCreate(const char *name, uint32_t flags, QVGATE *gate);
/* Accept null; always 0. */
QV_API QVRESULT QVEventDestroy(QVEVENT event);
QV_API QVRESULT QVGateDestroy(QVGATE gate);
/* Set the signal; it stays set until a waiter of an auto-reset event takes it
   or it is reset, so a signal sent before the wait is not lost. */
QV_API QVRESULT QVEventSignal(QVEVENT event);
QV_API QVRESULT QVGateOpen(QVGATE gate);
/* Clear the signal. */
QV_API QVRESULT QVEventReset(QVEVENT event);
QV_API QVRESULT QVGateClose(QVGATE gate);
/* Wait without limit; 0 once signalled (an auto-reset event is consumed). */
QV_API QVRESULT QVEventWait(QVEVENT event);
QV_API QVRESULT QVGateWait(QVGATE gate);
/* 0 once signalled, 0x800705B4 when the time ran out. */
QV_API QVRESULT QVEventTimedWait(QVEVENT event, uint32_t timeoutMs);
QV_API QVRESULT QVGateTimedWait(QVGATE gate, uint32_t timeoutMs);
/* 0 if open now (an auto-reset event is consumed), 0x80004005 if closed. */
QV_API QVRESULT QVGateTryWait(QVGATE gate);

QV_EXTERN_C_END

#endif
