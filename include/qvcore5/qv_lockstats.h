/* Statistics of measured mutexes (created with QV_MUTEX_STATS). */
#ifndef QVCORE5_QV_LOCKSTATS_H
#define QVCORE5_QV_LOCKSTATS_H

#include "qv_mutex.h"

QV_EXTERN_C_BEGIN

/* Copies one mutex's numbers (approximate while it is in use). 0x80004001 for a
   mutex that gathers no statistics (record untouched), 0x80070006 for a null or
   all-ones handle, 0x80070057 for a null record. */
QV_API QVRESULT QVGetLockStats(QVMUTEX mutex, QVLockStats *stats);
/* Clears all numbers and lets go of the destroyed measured mutexes; always 0. */
QV_API QVRESULT QVResetLockStats(void);
/* Appends a comma-separated report of every measured mutex, destroyed ones
   included, to a text file. label null: "LockStatsDump"; fileName null:
   "qvlockstats.csv" in the current directory. 0x80004005 when the file cannot
   be opened or written (lines already written stay), 0x80070057 for a file
   name the narrow encoding cannot hold. */
QV_API QVRESULT QVDumpLockStats(const char *label, const QVWCHAR *fileName);

QV_EXTERN_C_END

#endif
