/* Statistics of measured mutexes (created with QV_MUTEX_STATS). */
#ifndef QVCORE5_QV_LOCKSTATS_H
#define QVCORE5_QV_LOCKSTATS_H

#include "qv_mutex.h"

QV_EXTERN_C_BEGIN

/* 0x80004001 for a mutex that gathers no statistics (record untouched). */
QV_API QVRESULT QVGetLockStats(QVMUTEX mutex, QVLockStats *stats);
/* Clears all numbers and lets go of the destroyed measured mutexes. */
QV_API QVRESULT QVResetLockStats(void);
/* Appends a report of every registered mutex to a text file.
   label null: "LockStatsDump"; fileName null: "qvlockstats.csv". */
QV_API QVRESULT QVDumpLockStats(const char *label, const QVWCHAR *fileName);

QV_EXTERN_C_END

#endif
