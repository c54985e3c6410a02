// Files, byte-range locks and directory listings, shaped like the Windows
// file primitives. File and listing handles are handle values of os_handle.h;
// each function checks the kind, so a listing handle given to a file function
// (and the reverse) fails with error 6. Paths are 16-bit text; a path the
// platform cannot name exactly fails with error 123, a path too long for it
// with 206. Failures set the last error and return false or null.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string_view>

namespace qv::os {

enum : uint32_t {
  kFileAccessRead = 1,
  kFileAccessWrite = 2,
};

enum class FileDisposition {
  kOpenExisting,
  kOpenAlways,
  kTruncateExisting,
  kCreateAlways,
  kCreateNew,
};

struct FileOpenOptions {
  uint32_t access = 0;  // kFileAccess* bits
  FileDisposition disposition = FileDisposition::kOpenExisting;
  bool readOnly = false;       // a file this call creates gets no write permission
  bool writeThrough = false;   // each write reaches the device before it returns
  bool deleteOnClose = false;  // the name goes once the file is open; the data with the last handle
};

// Opens or creates the file. *created tells whether this call created it
// (decided atomically against other openers). A directory fails with error 5,
// as does write access to a file without any write permission that this call
// did not create; truncation without write access fails with error 87.
void* OsFileOpen(std::u16string_view path, const FileOpenOptions& options, bool* created) noexcept;

// A new file without a name in the platform's temporary directory; nothing of
// it remains once the last handle is closed or the process ends.
void* OsFileOpenAnonymous(const FileOpenOptions& options) noexcept;

// Keeps a C runtime stream the library opened out of the children it starts.
void StreamKeepFromChildren(std::FILE* stream) noexcept;

// Closes a file handle (error 6 for anything else).
bool OsFileClose(void* file) noexcept;

// Reads up to count bytes at the file position; a regular file is read until
// count or its end. *done holds the bytes read, also on failure.
bool OsFileReadBytes(void* file, void* buffer, uint32_t count, uint32_t* done) noexcept;

// Writes all count bytes (short writes and interruptions are retried). A pipe
// whose reader has gone fails with error 109 and raises no signal.
bool OsFileWriteBytes(void* file, const void* buffer, uint32_t count, uint32_t* done) noexcept;

// method 0 from the start, 1 from the position, 2 from the end; other methods
// fail with error 87, a position before the start with error 131.
bool OsFileMovePointer(void* file, int64_t distance, uint32_t method, uint64_t* position) noexcept;

bool OsFileSyncData(void* file) noexcept;
bool OsFileQuerySize(void* file, uint64_t* size) noexcept;
bool OsFileSetLength(void* file, uint64_t length) noexcept;

// Whether both handles name the same file (device and file number).
bool OsFileSameObject(void* first, void* second, bool* same) noexcept;

// Byte-range locks held by the handle: two handles conflict even within one
// process. A conflict fails with error 33; a zero length with error 87.
// Unlocking needs the exact range of an earlier lock (error 158 otherwise).
bool OsFileRangeLock(void* file, uint64_t offset, uint64_t length, bool shared, bool wait) noexcept;
bool OsFileRangeUnlock(void* file, uint64_t offset, uint64_t length) noexcept;

// Copies up to count bytes from one file position to the other inside the
// platform; *copied is 0 at the source's end. False with error 50 when the
// platform cannot copy between these two files (the caller copies itself).
bool OsFileCopyChunk(void* from, void* to, uint64_t count, uint64_t* copied) noexcept;

bool OsFileRemove(std::u16string_view path) noexcept;
bool OsDirMake(std::u16string_view path) noexcept;
bool OsDirDelete(std::u16string_view path) noexcept;

struct DirEntryInfo {
  char16_t name[256];  // zero-terminated; a platform name always fits
  bool directory;
  bool readOnly;  // no write permission at all
  uint64_t size;
  int64_t creationTime;  // seconds since 1970 UTC; 0 when the file system keeps none
  int64_t accessTime;
  int64_t modificationTime;
};

// Opens a listing of the directory, its own and its parent's entries included.
void* OsDirSearchOpen(std::u16string_view path) noexcept;
// The next entry; false with error 18 at the end (and after it).
bool OsDirSearchNext(void* search, DirEntryInfo* entry) noexcept;
// Closes a listing handle (error 6 for anything else).
bool OsDirSearchClose(void* search) noexcept;

}  // namespace qv::os
