// Files on Windows handles. Every file is opened sharing read, write and
// delete, so other openers, removal and replacement behave as on the other
// platforms; byte-range locks are LockFileEx locks of the handle, which
// already conflict between two handles of one process.
#include <windows.h>

#include <io.h>

#include <algorithm>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "os/os_error.h"
#include "os/os_file.h"
#include "os/os_handle.h"
#include "os/win32/file_handle.h"
#include "os/win32/file_name.h"

namespace qv::os {

namespace {

using win32::StoreNativeError;

struct LockRecord {
  uint64_t offset;
  uint64_t length;
  bool shared;
};

class FileObject final : public LibraryObject {
 public:
  FileObject(HANDLE handle, uint32_t access, DWORD type) noexcept : m_handle(handle), m_access(access), m_type(type) {}
  ~FileObject() override { ::CloseHandle(m_handle); }

  const HANDLE m_handle;
  const uint32_t m_access;
  const DWORD m_type;  // FILE_TYPE_DISK, _PIPE, _CHAR
  // The handle's own ranges, asked for or held: a waiting request over one of
  // them would wait for itself forever, so it is refused at once instead.
  std::mutex m_lockMutex;
  std::vector<LockRecord> m_locks;
};

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr int kMaxOpenRetries = 16;

bool FailWith(uint32_t error) noexcept {
  StoreLastError(error);
  return false;
}

void* Publish(HANDLE handle, uint32_t access) noexcept {
  DWORD type = ::GetFileType(handle);
  auto* object = new (std::nothrow) FileObject(handle, access, type);
  if (object == nullptr) {
    ::CloseHandle(handle);
    StoreLastError(kErrorOutOfMemory);
    return nullptr;
  }
  return InsertHandle(object);
}

LibraryObjectRef<FileObject> FileRef(void* file) noexcept { return ReferenceAs<FileObject>(file); }

DWORD DesiredAccess(const FileOpenOptions& options) noexcept {
  DWORD access = 0;
  if (options.access & kFileAccessRead) access |= GENERIC_READ;
  if (options.access & kFileAccessWrite) access |= GENERIC_WRITE;
  return access;
}

DWORD Attributes(const FileOpenOptions& options) noexcept {
  DWORD flags = options.readOnly ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL;
  if (options.writeThrough) flags |= FILE_FLAG_WRITE_THROUGH;
  if (options.deleteOnClose) flags = (flags & ~FILE_ATTRIBUTE_NORMAL) | FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE;
  return flags;
}

// Handles the library makes are never inherited; a child gets only copies
// made for it.
SECURITY_ATTRIBUTES* NotInherited() noexcept {
  static SECURITY_ATTRIBUTES attributes = {sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
  return &attributes;
}

OVERLAPPED RangeRecord(uint64_t offset) noexcept {
  OVERLAPPED record = {};
  record.Offset = static_cast<DWORD>(offset);
  record.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return record;
}

}  // namespace

void* OsFileOpen(std::u16string_view path, const FileOpenOptions& options, bool* created) noexcept {
  *created = false;
  std::wstring name;
  if (!win32::WidePath(path, name)) return nullptr;
  bool write = (options.access & kFileAccessWrite) != 0;
  bool truncate = options.disposition == FileDisposition::kTruncateExisting ||
                  options.disposition == FileDisposition::kCreateAlways;
  if (truncate && !write) {
    StoreLastError(kErrorInvalidParameter);
    return nullptr;
  }
  // Truncation waits until the checks below have passed, so a refused open
  // leaves the file as it was.
  DWORD disposition = OPEN_EXISTING;
  switch (options.disposition) {
    case FileDisposition::kOpenExisting:
    case FileDisposition::kTruncateExisting: disposition = OPEN_EXISTING; break;
    case FileDisposition::kOpenAlways:
    case FileDisposition::kCreateAlways: disposition = OPEN_ALWAYS; break;
    case FileDisposition::kCreateNew: disposition = CREATE_NEW; break;
  }
  DWORD access = DesiredAccess(options);
  if (options.deleteOnClose) access |= DELETE;
  HANDLE handle = INVALID_HANDLE_VALUE;
  if (disposition == OPEN_ALWAYS) {
    // Exclusive creation decides who created the file, even between racing
    // openers (the system's own open-always report is not exact under Wine).
    for (int attempt = 0; attempt < kMaxOpenRetries && handle == INVALID_HANDLE_VALUE; ++attempt) {
      handle = ::CreateFileW(name.c_str(), access, kShareAll, NotInherited(), CREATE_NEW, Attributes(options), nullptr);
      if (handle != INVALID_HANDLE_VALUE) {
        *created = true;
        break;
      }
      DWORD error = ::GetLastError();
      if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
      handle = ::CreateFileW(name.c_str(), access, kShareAll, NotInherited(), OPEN_EXISTING, Attributes(options), nullptr);
      if (handle == INVALID_HANDLE_VALUE && ::GetLastError() != ERROR_FILE_NOT_FOUND) break;  // else removed in between
    }
  } else {
    handle = ::CreateFileW(name.c_str(), access, kShareAll, NotInherited(), disposition, Attributes(options), nullptr);
    *created = handle != INVALID_HANDLE_VALUE && disposition == CREATE_NEW;
  }
  if (handle == INVALID_HANDLE_VALUE) {
    bool creating = disposition != OPEN_EXISTING;
    uint32_t error = creating ? win32::KeepCreationError(path, kErrorInvalidName) : win32::KeepSystemError();
    // An existing file refused by exclusive creation is "already exists", as everywhere.
    if (error == ERROR_FILE_EXISTS) StoreLastError(kErrorAlreadyExists);
    return nullptr;
  }
  if (write && !*created) {
    // A read-only file refuses writers even where the system would let a
    // privileged caller through (Wine run by root), as it does on every platform.
    BY_HANDLE_FILE_INFORMATION info;
    if (::GetFileInformationByHandle(handle, &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY)) {
      ::CloseHandle(handle);
      StoreLastError(kErrorAccessDenied);
      return nullptr;
    }
    LARGE_INTEGER size;
    FILE_END_OF_FILE_INFO empty = {};
    if (truncate && ::GetFileType(handle) == FILE_TYPE_DISK && ::GetFileSizeEx(handle, &size) && size.QuadPart != 0 &&
        !::SetFileInformationByHandle(handle, FileEndOfFileInfo, &empty, sizeof empty)) {
      uint32_t error = win32::KeepSystemError();
      ::CloseHandle(handle);
      StoreLastError(error);
      return nullptr;
    }
  }
  return Publish(handle, options.access);
}

void* OsFileOpenAnonymous(const FileOpenOptions& options) noexcept {
  wchar_t folder[MAX_PATH + 1];
  wchar_t name[MAX_PATH + 1];
  DWORD length = ::GetTempPathW(MAX_PATH + 1, folder);
  if (length == 0 || length > MAX_PATH) {
    StoreNativeError();
    return nullptr;
  }
  if (::GetTempFileNameW(folder, L"tmp", 0, name) == 0) {
    StoreNativeError();
    return nullptr;
  }
  FileOpenOptions temporary = options;
  temporary.deleteOnClose = true;
  HANDLE handle = ::CreateFileW(name, DesiredAccess(options) | DELETE, kShareAll, NotInherited(), OPEN_EXISTING,
                                Attributes(temporary), nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    uint32_t error = win32::KeepSystemError();
    ::DeleteFileW(name);
    StoreLastError(error);
    return nullptr;
  }
  return Publish(handle, options.access);
}

namespace win32 {

void* PublishSystemHandle(void* system, uint32_t access) noexcept { return Publish(static_cast<HANDLE>(system), access); }

void* InheritableCopy(void* file) noexcept {
  LibraryObjectRef<FileObject> f = FileRef(file);
  if (!f) return nullptr;
  HANDLE self = ::GetCurrentProcess();
  HANDLE copy = nullptr;
  if (!::DuplicateHandle(self, f->m_handle, self, &copy, 0, TRUE, DUPLICATE_SAME_ACCESS)) {
    StoreNativeError();
    return nullptr;
  }
  return copy;
}

}  // namespace win32

void StreamKeepFromChildren(std::FILE* stream) noexcept {
  int fd = stream != nullptr ? ::_fileno(stream) : -1;
  if (fd < 0) return;
  intptr_t handle = ::_get_osfhandle(fd);
  if (handle == -1 || handle == -2) return;
  ::SetHandleInformation(reinterpret_cast<HANDLE>(handle), HANDLE_FLAG_INHERIT, 0);
}

bool OsFileClose(void* file) noexcept {
  if (!FileRef(file)) return false;
  return HandleClose(file);
}

bool OsFileReadBytes(void* file, void* buffer, uint32_t count, uint32_t* done) noexcept {
  *done = 0;
  LibraryObjectRef<FileObject> f = FileRef(file);
  if (!f) return false;
  if (!(f->m_access & kFileAccessRead)) return FailWith(kErrorAccessDenied);
  auto* out = static_cast<char*>(buffer);
  uint32_t total = 0;
  while (total < count) {
    DWORD got = 0;
    if (!::ReadFile(f->m_handle, out + total, count - total, &got, nullptr)) {
      DWORD error = ::GetLastError();
      // A pipe whose writers have all gone reads as its end, as on the other platforms.
      if (error == ERROR_BROKEN_PIPE || error == ERROR_HANDLE_EOF) break;
      *done = total;
      return StoreNativeError();
    }
    if (got == 0) break;
    total += got;
    if (f->m_type != FILE_TYPE_DISK) break;
  }
  *done = total;
  return true;
}

bool OsFileWriteBytes(void* file, const void* buffer, uint32_t count, uint32_t* done) noexcept {
  *done = 0;
  LibraryObjectRef<FileObject> f = FileRef(file);
  if (!f) return false;
  if (!(f->m_access & kFileAccessWrite)) return FailWith(kErrorAccessDenied);
  const auto* data = static_cast<const char*>(buffer);
  uint32_t total = 0;
  while (total < count) {
    DWORD put = 0;
    if (!::WriteFile(f->m_handle, data + total, count - total, &put, nullptr)) {
      DWORD error = ::GetLastError();
      *done = total;
      // A pipe being closed by its reader reports 232; the contract's number is 109.
      if (error == ERROR_NO_DATA) return FailWith(kErrorBrokenPipe);
      return StoreNativeError();
    }
    if (put == 0) {
      *done = total;
      return FailWith(kErrorDiskFull);
    }
    total += put;
  }
  *done = total;
  return true;
}

bool OsFileMovePointer(void* file, int64_t distance, uint32_t method, uint64_t* position) noexcept {
  LibraryObjectRef<FileObject> f = FileRef(file);
  if (!f) return false;
  static constexpr DWORD kMethod[] = {FILE_BEGIN, FILE_CURRENT, FILE_END};
  if (method > 2) return FailWith(kErrorInvalidParameter);
  LARGE_INTEGER move, at;
  move.QuadPart = distance;
  if (!::SetFilePointerEx(f->m_handle, move, &at, kMethod[method])) return StoreNativeError();
  *position = static_cast<uint64_t>(at.QuadPart);
  return true;
}

bool OsFileSyncData(void* file) noexcept {
  LibraryObjectRef<FileObject> f = FileRef(file);
  if (!f) return false;
  // A pipe's flush would wait for its reader; pipes and consoles have nothing to write back.
  if (f->m_type != FILE_TYPE_DISK) return true;
  return ::FlushFileBuffers(f->m_handle) || StoreNativeError();
}

bool OsFileQuerySize(void* file, uint64_t* size) noexcept {
  LibraryObjectRef<FileObject> f = FileRef(file);
  if (!f) return false;
  LARGE_INTEGER value;
  if (!::GetFileSizeEx(f->m_handle, &value)) return StoreNativeError();
  *size = static_cast<uint64_t>(value.QuadPart);
  return true;
}

bool OsFileSetLength(void* file, uint64_t length) noexcept {
  LibraryObjectRef<FileObject> f = FileRef(file);
  if (!f) return false;
  if (!(f->m_access & kFileAccessWrite)) return FailWith(kErrorAccessDenied);
  // Sets the end without moving the file position.
  FILE_END_OF_FILE_INFO end;
  end.EndOfFile.QuadPart = static_cast<LONGLONG>(length);
  return ::SetFileInformationByHandle(f->m_handle, FileEndOfFileInfo, &end, sizeof end) || StoreNativeError();
}

bool OsFileSameObject(void* first, void* second, bool* same) noexcept {
  LibraryObjectRef<FileObject> a = FileRef(first);
  if (!a) return false;
  LibraryObjectRef<FileObject> b = FileRef(second);
  if (!b) return false;
  BY_HANDLE_FILE_INFORMATION ia, ib;
  if (!::GetFileInformationByHandle(a->m_handle, &ia) || !::GetFileInformationByHandle(b->m_handle, &ib))
    return StoreNativeError();
  *same = ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber && ia.nFileIndexHigh == ib.nFileIndexHigh &&
          ia.nFileIndexLow == ib.nFileIndexLow;
  return true;
}

bool OsFileRangeLock(void* file, uint64_t offset, uint64_t length, bool shared, bool wait) noexcept {
  if (length == 0) return FailWith(kErrorInvalidParameter);
  LibraryObjectRef<FileObject> f = FileRef(file);
  if (!f) return false;
  try {
    std::lock_guard<std::mutex> guard(f->m_lockMutex);
    for (const LockRecord& r : f->m_locks) {
      bool overlaps = r.offset < offset + length && offset < r.offset + r.length;
      if (overlaps && (!shared || !r.shared)) return FailWith(kErrorLockViolation);
    }
    f->m_locks.push_back({offset, length, shared});
  } catch (...) {
    return FailWith(kErrorOutOfMemory);
  }
  DWORD flags = (shared ? 0 : LOCKFILE_EXCLUSIVE_LOCK) | (wait ? 0 : LOCKFILE_FAIL_IMMEDIATELY);
  OVERLAPPED record = RangeRecord(offset);
  if (::LockFileEx(f->m_handle, flags, 0, static_cast<DWORD>(length), static_cast<DWORD>(length >> 32), &record))
    return true;
  DWORD error = ::GetLastError();
  {
    std::lock_guard<std::mutex> guard(f->m_lockMutex);
    auto it = std::find_if(f->m_locks.begin(), f->m_locks.end(), [&](const LockRecord& r) {
      return r.offset == offset && r.length == length && r.shared == shared;
    });
    if (it != f->m_locks.end()) f->m_locks.erase(it);
  }
  return FailWith(error == ERROR_IO_PENDING ? uint32_t{kErrorLockViolation} : error);
}

bool OsFileRangeUnlock(void* file, uint64_t offset, uint64_t length) noexcept {
  LibraryObjectRef<FileObject> f = FileRef(file);
  if (!f) return false;
  if (length == 0) return FailWith(kErrorNotLocked);
  std::lock_guard<std::mutex> guard(f->m_lockMutex);
  OVERLAPPED record = RangeRecord(offset);
  if (!::UnlockFileEx(f->m_handle, 0, static_cast<DWORD>(length), static_cast<DWORD>(length >> 32), &record)) {
    // Some systems (Wine) report a range never locked as a violation; it is "not locked".
    if (::GetLastError() == ERROR_LOCK_VIOLATION) return FailWith(kErrorNotLocked);
    return StoreNativeError();
  }
  auto it = std::find_if(f->m_locks.begin(), f->m_locks.end(),
                         [&](const LockRecord& r) { return r.offset == offset && r.length == length; });
  if (it != f->m_locks.end()) f->m_locks.erase(it);
  return true;
}

bool OsFileCopyChunk(void* from, void* to, uint64_t count, uint64_t* copied) noexcept {
  (void)count;
  *copied = 0;
  LibraryObjectRef<FileObject> src = FileRef(from);
  if (!src) return false;
  LibraryObjectRef<FileObject> dst = FileRef(to);
  if (!dst) return false;
  if (!(src->m_access & kFileAccessRead) || !(dst->m_access & kFileAccessWrite)) return FailWith(kErrorAccessDenied);
  // Windows copies only between paths: the caller copies through its buffer.
  return FailWith(kErrorNotSupported);
}

bool OsFileRemove(std::u16string_view path) noexcept {
  std::wstring name;
  if (!win32::WidePath(path, name)) return false;
  return ::DeleteFileW(name.c_str()) || StoreNativeError();
}

bool OsDirMake(std::u16string_view path) noexcept {
  std::wstring name;
  if (!win32::WidePath(path, name)) return false;
  if (::CreateDirectoryW(name.c_str(), nullptr)) return true;
  win32::KeepCreationError(path, kErrorInvalidName);
  return false;
}

bool OsDirDelete(std::u16string_view path) noexcept {
  std::wstring name;
  if (!win32::WidePath(path, name)) return false;
  return ::RemoveDirectoryW(name.c_str()) || StoreNativeError();
}

}  // namespace qv::os
