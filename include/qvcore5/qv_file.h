/* Files, byte-range locks, directories and UTF-16 text files. File and
   directory handles are handle values of the library: a closed or made-up
   value, or a directory handle given to a file function (and the reverse),
   fails with 0x80070006. Platform errors come back as mapped codes
   (QVResultFromNative): 0x80070002 missing file or path, 0x80070005 access
   denied, 0x800700B7 already exists, 0x80004005 every other error, a lock
   conflict and the end of a directory listing included. A path that cannot be
   named exactly on the platform, or that is too long for it, fails with
   0x80070057. */
#ifndef QVCORE5_QV_FILE_H
#define QVCORE5_QV_FILE_H

#include "qv_base.h"

typedef QVHANDLE QVFILE;
typedef QVHANDLE QVDIR;
typedef struct QVUtf16FileObject *QVUTF16FILE;

/* QVFileOpen flags. */
#define QV_FILE_READ         0x80000000u
#define QV_FILE_WRITE        0x40000000u
#define QV_FILE_CREATE       0x00000100u
#define QV_FILE_TRUNCATE     0x00000200u
#define QV_FILE_EXCLUSIVE    0x00000400u
#define QV_FILE_TEMPORARY    0x00000040u
#define QV_FILE_APPEND       0x00000008u
#define QV_FILE_WRITETHROUGH 0x00001000u
/* The permission bits that make a created file writable (none: read-only). */
#define QV_FILE_WRITE_BITS   0222u
/* QVFileOpen / QVFileCopy success value when the file did not exist before. */
#define QV_FILE_S_CREATED    2
/* QVFileLock flags. */
#define QV_LOCK_SHARED       0x1u
#define QV_LOCK_WAIT         0x2u
/* QVDirEntry mode bits. */
#define QV_MODE_DIRECTORY    040000u
#define QV_MODE_READ         0444u
#define QV_MODE_WRITE        0222u

typedef struct QVDirEntry {
  QVWCHAR name[260];
  QVWCHAR shortName[14]; /* always empty on POSIX */
  uint32_t mode;
  uint32_t sizeHigh;
  uint32_t sizeLow;
  int32_t creationTime; /* seconds since 1970 UTC; 0 when unknown */
  int32_t accessTime;
  int32_t modificationTime;
} QVDirEntry;

QV_EXTERN_C_BEGIN

/* Opens or creates a file (flags above, permissions: only 0222 is looked at).
   0, or 2 when it created the file with create (and truncate); 0x800700B7 for
   create+exclusive on an existing file; 0x80004005 for exclusive without create
   or truncate without write access; 0x80070005 for a directory or a read-only
   file opened for writing. The path may be null or empty only with the
   temporary flag. *file is all ones on failure. */
QV_API QVRESULT QVFileOpen(const QVWCHAR *path, uint32_t flags, uint32_t permissions, QVFILE *file);
/* 0, or 0x80070026 when no byte was read (the end of the file, or count 0);
   0x80070005 when the handle was opened without read access. */
QV_API QVRESULT QVFileRead(QVFILE file, void *buffer, uint32_t count, uint32_t *bytesRead);
/* 0 when all bytes were written; 0x80070005 without write access; a broken
   pipe or a full disk fails with 0x80004005 (no signal is raised). */
QV_API QVRESULT QVFileWrite(QVFILE file, const void *buffer, uint32_t count, uint32_t *bytesWritten);
/* method 0 start, 1 current, 2 end. 0x80004005 for a position before the
   start, past 0xFFFFFFFF, or another method; *position is then 0xFFFFFFFF. */
QV_API QVRESULT QVFileSeek(QVFILE file, int32_t distance, uint32_t method, uint32_t *position);
/* As QVFileSeek with 64-bit positions. */
QV_API QVRESULT QVFileSeek64(QVFILE file, int64_t distance, uint32_t method, int64_t *position);
/* Writes the file's data through to the device: 0 or a mapped code. */
QV_API QVRESULT QVFileFlush(QVFILE file);
/* 0, or 0x80004001 before the library has started. */
QV_API QVRESULT QVFileGetSize(QVFILE file, int64_t *size);
/* Locks a byte range (flags QV_LOCK_*). A conflict fails with 0x80004005, at
   once unless QV_LOCK_WAIT; a zero length fails with 0x80004005. */
QV_API QVRESULT QVFileLock(QVFILE file, uint32_t offset, uint32_t length, uint32_t flags);
/* Unlocks exactly a range locked before through this handle; any other range
   fails with 0x80004005. */
QV_API QVRESULT QVFileUnlock(QVFILE file, uint32_t offset, uint32_t length);
/* 0, or 0x80070006 for a value that is not an open file handle. */
QV_API QVRESULT QVFileClose(QVFILE file);
/* 0x80070002 when missing, 0x80070005 for a directory. */
QV_API QVRESULT QVFileDelete(const QVWCHAR *path);
/* Copies the source into the destination opened with flags | write access.
   The result of opening the destination (0 or 2), or the first failure; a
   destination that is the source fails with 0x80070057 and nothing changes.
   With `file` given the destination stays open in it. */
QV_API QVRESULT QVFileCopy(const QVWCHAR *source, const QVWCHAR *destination, uint32_t flags,
                           uint32_t permissions, QVFILE *file);

/* 0x800700B7 when it exists; 0x80070002 when the parent is missing. */
QV_API QVRESULT QVDirCreate(const QVWCHAR *path);
/* 0x80004005 when the directory is not empty. */
QV_API QVRESULT QVDirRemove(const QVWCHAR *path);
/* Opens a listing; trailing '/' are cut ("/" stays the root). 0x80070002 for
   a missing or empty path, 0x8007000E when out of memory. */
QV_API QVRESULT QVDirOpen(const QVWCHAR *path, QVDIR *dir);
/* Fills the next entry ("." and ".." included); 0x80004005 at the end, and
   again on every later call. */
QV_API QVRESULT QVDirRead(QVDIR dir, QVDirEntry *entry);
/* Always 0 for a directory handle; 0x80070006 for any other value. */
QV_API QVRESULT QVDirClose(QVDIR dir);

/* Opens a UTF-16 text file (narrow path, fopen mode). Null on failure. */
QV_API QVUTF16FILE QVFileOpenUTF16(const char *path, const char *mode);
/* The next line without CR or LF, in pieces when longer than capacity - 1;
   null at the end, on failure, or for a capacity below 2. */
QV_API QVWCHAR *QVFileGetLineUTF16(QVWCHAR *buffer, int32_t capacity, QVUTF16FILE file);
/* Writes the line and CR LF: the units written, or -1 on failure (a write
   error of the stream, a full disk among them). */
QV_API int32_t QVFileWriteLineUTF16(const QVWCHAR *line, QVUTF16FILE file);
/* Closes the file (null is ignored): 0, or 0x80004005 when written data could
   not be stored. */
QV_API QVRESULT QVFileCloseUTF16(QVUTF16FILE file);

QV_EXTERN_C_END

#endif
