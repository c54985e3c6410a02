/* Clocks, time conversion, time zone, system information and user name. */
#ifndef QVCORE5_QV_TIME_H
#define QVCORE5_QV_TIME_H

#include "qv_base.h"

/* Calendar time (the Windows SYSTEMTIME layout). */
typedef struct QVTime {
  uint16_t year;         /* full year, e.g. 2026 */
  uint16_t month;        /* 1..12 */
  uint16_t dayOfWeek;    /* 0..6, 0 is Sunday */
  uint16_t day;          /* 1..31 */
  uint16_t hour;         /* 0..23 */
  uint16_t minute;       /* 0..59 */
  uint16_t second;       /* 0..59 */
  uint16_t milliseconds; /* 0..999 */
} QVTime;

/* The library's own broken-down time: the fields of the C runtime's struct tm,
   always 32 bits wide, in the same order and with the same meanings. */
typedef struct QVTM {
  int32_t tm_sec;   /* 0..59 */
  int32_t tm_min;   /* 0..59 */
  int32_t tm_hour;  /* 0..23 */
  int32_t tm_mday;  /* 1..31 */
  int32_t tm_mon;   /* 0..11 */
  int32_t tm_year;  /* years since 1900 */
  int32_t tm_wday;  /* 0..6, 0 is Sunday */
  int32_t tm_yday;  /* 0..365 */
  int32_t tm_isdst; /* 1 while daylight saving time is in force now */
} QVTM;

/* The time zone in force now. */
typedef struct QVTimeZone {
  int32_t bias;              /* seconds to add to local time to get UTC, daylight included */
  int16_t daylight;          /* 1 while daylight saving time is in force, else 0 */
  QVWCHAR standardName[32];  /* at most 31 units, always terminated */
  QVWCHAR daylightName[32];
} QVTimeZone;

typedef struct QVTimeOfDay {
  int64_t seconds;     /* since 1970-01-01 00:00 UTC */
  int64_t nanoseconds; /* 0..999999999 */
} QVTimeOfDay;

typedef struct QVSystemInfo {
  uint64_t totalPhysicalMemory;
  uint64_t availablePhysicalMemory;
  uint64_t totalVirtualMemory;     /* the process's user address space */
  uint64_t availableVirtualMemory;
  uint32_t allocationGranularity;
  uint32_t pageSize;
  uint16_t processorType;          /* QV_PROCESSOR_... */
  uint16_t processorLevel;
  uint16_t processorRevision;
  uint16_t numberOfProcessors;
  uint16_t platformId;             /* QV_PLATFORM_... */
  uint16_t reserved;
  uint16_t majorVersion;
  uint16_t minorVersion;
  uint16_t buildNumber;
} QVSystemInfo;

#define QV_PROCESSOR_INTEL_PENTIUM 586
#define QV_PROCESSOR_AMD_X8664     8664
#define QV_PROCESSOR_ARM64         0xAA64
#define QV_PLATFORM_WIN32_NT       2
#define QV_PLATFORM_LINUX          0x100

QV_EXTERN_C_BEGIN

/* Every function with an out record returns 0x80070057 for a null one. */
/* Current time in UTC, in local time. */
QV_API QVRESULT QVTimeGetSystem(QVTime *time);
QV_API QVRESULT QVTimeGetLocal(QVTime *time);
/* Nanoseconds since 1970-01-01 00:00 UTC; never below 1. */
QV_API QVRESULT QVTimeGetPreciseTimestamp(int64_t *timestamp);
/* The precise timestamp split into seconds and nanoseconds. */
QV_API QVRESULT QVTimeGetTimeOfDay(QVTimeOfDay *timeOfDay);
/* The zone in force now; 0, or the mapped platform code. */
QV_API QVRESULT QVTimeGetZone(QVTimeZone *zone);

/* Local time to 32-bit POSIX seconds and back; 0x80004005 outside 1970..2038.
   Daylight saving time is that of the date converted. Records or QVTM values
   with a field out of its range (month 13, day 0, 31 April...) are refused
   with 0x80070057 rather than moved to another date. On failure the seconds
   are -1 and a record is all zero. */
QV_API QVRESULT QVTimeToPosix(const QVTime *time, int32_t *seconds);
QV_API QVRESULT QVTimeFromPosix(int32_t seconds, QVTime *time);
QV_API QVRESULT QVTimeToTM(const QVTime *time, QVTM *tm);
QV_API QVRESULT QVTimeFromTM(const QVTM *tm, QVTime *time);

/* High-resolution counter and its counts per second, for measuring
   intervals; where the counter is missing they fall back together to the
   millisecond tick and 1000. */
QV_API int64_t QVPerfGetCount(void);
QV_API int64_t QVPerfGetFreq(void);
/* Milliseconds since the system started; wraps after about 49.7 days. */
QV_API uint32_t QVPerfGetCountMS(void);

/* Memory, processor and system version figures; 0, or the mapped platform
   code. */
QV_API QVRESULT QVGetSystemInfo(QVSystemInfo *info);
/* "host\login"; capacity in units, terminator included. 0x80004005 (buffer
   then empty) when it does not fit; 0x80070057 for a null buffer. */
QV_API QVRESULT QVGetUserName(QVWCHAR *buffer, uint32_t capacity);

QV_EXTERN_C_END

#endif
