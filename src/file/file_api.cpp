// The exported file functions: a thin shell over the platform's file
// primitives, with the open-flag table of the interface.
#include <memory>
#include <new>

#include "base/library_state.h"
#include "file/file_open.h"
#include "os/os_error.h"
#include "os/os_file.h"
#include "base/wide.h"

namespace qv::file {

QVRESULT PathFailure() noexcept {
  uint32_t error = os::LastError();
  if (error == os::kErrorInvalidName || error == os::kErrorFilenameTooLong) return QV_E_INVALIDARG;
  return QVResultFromNative(error);
}

QVRESULT OpenWithFlags(const WChar* path, uint32_t flags, uint32_t permissions, bool defer,
                       OpenedFile& opened) noexcept {
  os::FileOpenOptions options;
  if (flags & QV_FILE_READ) options.access |= os::kFileAccessRead;
  if (flags & QV_FILE_WRITE) options.access |= os::kFileAccessWrite;
  options.readOnly = (flags & QV_FILE_CREATE) && (permissions & QV_FILE_WRITE_BITS) == 0;
  options.writeThrough = (flags & QV_FILE_WRITETHROUGH) != 0;
  bool anonymous = false;
  if (flags & QV_FILE_TEMPORARY) {
    anonymous = path == nullptr || *path == 0;
    if (anonymous) flags &= ~(QV_FILE_CREATE | QV_FILE_TRUNCATE | QV_FILE_EXCLUSIVE);  // the file exists now
    else flags |= QV_FILE_CREATE;
    options.deleteOnClose = !anonymous;
  } else if (path == nullptr) {
    return QV_E_INVALIDARG;
  }
  bool create = flags & QV_FILE_CREATE, truncate = flags & QV_FILE_TRUNCATE, exclusive = flags & QV_FILE_EXCLUSIVE;
  if (exclusive && !create) return QVResultFromNative(os::kErrorInvalidParameter);
  using os::FileDisposition;
  if (create) {
    options.disposition = exclusive ? FileDisposition::kCreateNew
                          : truncate ? FileDisposition::kCreateAlways
                                     : FileDisposition::kOpenAlways;
  } else {
    options.disposition = truncate ? FileDisposition::kTruncateExisting : FileDisposition::kOpenExisting;
  }
  bool reportsCreation = options.disposition == FileDisposition::kOpenAlways ||
                         options.disposition == FileDisposition::kCreateAlways;
  if (truncate && !(options.access & os::kFileAccessWrite) && !anonymous) {
    return QVResultFromNative(os::kErrorInvalidParameter);  // as on Windows: never truncate without write access
  }
  if (defer) {
    opened.truncatePending = options.disposition == FileDisposition::kCreateAlways ||
                             options.disposition == FileDisposition::kTruncateExisting;
    if (options.disposition == FileDisposition::kCreateAlways) options.disposition = FileDisposition::kOpenAlways;
    if (options.disposition == FileDisposition::kTruncateExisting) options.disposition = FileDisposition::kOpenExisting;
    opened.removePending = options.deleteOnClose;
    options.deleteOnClose = false;
  }
  bool created = false;
  void* handle = anonymous ? os::OsFileOpenAnonymous(options) : os::OsFileOpen(PathText(path), options, &created);
  if (handle == nullptr) return PathFailure();
  if (created) opened.truncatePending = false;
  opened.handle = handle;
  opened.created = created;
  opened.result = reportsCreation && created ? QV_FILE_S_CREATED : QV_S_OK;
  return QV_S_OK;
}

}  // namespace qv::file

using namespace qv;

namespace {

constexpr uint32_t kKernelCopyChunk = 64u << 20;
constexpr uint32_t kCopyBuffer = 1u << 20;

QVRESULT LastResult() noexcept { return QVResultFromNative(os::LastError()); }

// Copies from the current positions to the source's end.
QVRESULT CopyContents(void* from, void* to) noexcept {
  bool kernel = true;
  bool copiedAny = false;
  while (kernel) {
    uint64_t copied = 0;
    if (!os::OsFileCopyChunk(from, to, kKernelCopyChunk, &copied)) {
      if (os::LastError() != os::kErrorNotSupported) return LastResult();
      kernel = false;
    } else if (copied == 0) {
      // Some file systems report nothing to copy for files they cannot copy; reading tells.
      if (copiedAny) return QV_S_OK;
      kernel = false;
    } else {
      copiedAny = true;
    }
  }
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[kCopyBuffer]);
  if (!buffer) return QV_E_OUTOFMEMORY;
  for (;;) {
    uint32_t got = 0;
    if (!os::OsFileReadBytes(from, buffer.get(), kCopyBuffer, &got)) return LastResult();
    if (got == 0) return QV_S_OK;
    uint32_t put = 0;
    bool wrote = os::OsFileWriteBytes(to, buffer.get(), got, &put);
    if (!wrote) return LastResult();
    if (put != got) return QV_E_FAIL;
  }
}

}  // namespace

extern "C" {

QV_API QVRESULT QVFileOpen(const QVWCHAR* path, uint32_t flags, uint32_t permissions, QVFILE* file) {
  if (file == nullptr) return QV_E_INVALIDARG;
  *file = QV_INVALID_HANDLE;
  file::OpenedFile opened;
  QVRESULT r = file::OpenWithFlags(qv::Wide(path), flags, permissions, false, opened);
  if (r < 0) return r;
  *file = opened.handle;
  if (flags & QV_FILE_APPEND) {
    uint64_t end;
    if (!os::OsFileMovePointer(opened.handle, 0, 2, &end)) return LastResult();  // the handle stays open
  }
  return opened.result;
}

QV_API QVRESULT QVFileRead(QVFILE file, void* buffer, uint32_t count, uint32_t* bytesRead) {
  if (bytesRead == nullptr) return QV_E_INVALIDARG;
  *bytesRead = 0;
  if (buffer == nullptr && count != 0) return QV_E_INVALIDARG;
  if (!os::OsFileReadBytes(file, buffer, count, bytesRead)) return LastResult();
  return *bytesRead == 0 ? QV_E_EOF : QV_S_OK;
}

QV_API QVRESULT QVFileWrite(QVFILE file, const void* buffer, uint32_t count, uint32_t* bytesWritten) {
  if (bytesWritten == nullptr) return QV_E_INVALIDARG;
  *bytesWritten = 0;
  if (buffer == nullptr && count != 0) return QV_E_INVALIDARG;
  return os::OsFileWriteBytes(file, buffer, count, bytesWritten) ? QV_S_OK : LastResult();
}

QV_API QVRESULT QVFileSeek(QVFILE file, int32_t distance, uint32_t method, uint32_t* position) {
  if (position == nullptr) return QV_E_INVALIDARG;
  *position = 0xFFFFFFFFu;
  uint64_t current;
  if (!os::OsFileMovePointer(file, 0, 1, &current)) return LastResult();
  int64_t base;
  switch (method) {
    case 0: base = 0; break;
    case 1: base = static_cast<int64_t>(current); break;
    case 2: {
      uint64_t size;
      if (!os::OsFileQuerySize(file, &size)) return LastResult();
      base = static_cast<int64_t>(size);
      break;
    }
    default: return QVResultFromNative(os::kErrorInvalidParameter);
  }
  int64_t target = base + distance;
  // A 32-bit position cannot describe a place past 4 GiB: fail without moving.
  if (target < 0) return QVResultFromNative(os::kErrorNegativeSeek);
  if (target > 0xFFFFFFFFll) return QVResultFromNative(os::kErrorInvalidParameter);
  uint64_t at;
  if (!os::OsFileMovePointer(file, target, 0, &at)) return LastResult();
  *position = static_cast<uint32_t>(at);
  return QV_S_OK;
}

QV_API QVRESULT QVFileSeek64(QVFILE file, int64_t distance, uint32_t method, int64_t* position) {
  if (position == nullptr) return QV_E_INVALIDARG;
  *position = -1;
  uint64_t at;
  if (!os::OsFileMovePointer(file, distance, method, &at)) return LastResult();
  *position = static_cast<int64_t>(at);
  return QV_S_OK;
}

QV_API QVRESULT QVFileFlush(QVFILE file) { return os::OsFileSyncData(file) ? QV_S_OK : LastResult(); }

QV_API QVRESULT QVFileGetSize(QVFILE file, int64_t* size) {
  if (size == nullptr) return QV_E_INVALIDARG;
  *size = 0;
  if (!base::LibraryInitialized()) return QV_E_NOTIMPL;
  uint64_t value;
  if (!os::OsFileQuerySize(file, &value)) return LastResult();
  *size = static_cast<int64_t>(value);
  return QV_S_OK;
}

QV_API QVRESULT QVFileLock(QVFILE file, uint32_t offset, uint32_t length, uint32_t flags) {
  bool shared = (flags & QV_LOCK_SHARED) != 0;
  bool wait = (flags & QV_LOCK_WAIT) != 0;
  // Before the start only the plain lock exists: exclusive, failing at once.
  if (!base::LibraryInitialized()) shared = wait = false;
  return os::OsFileRangeLock(file, offset, length, shared, wait) ? QV_S_OK : LastResult();
}

QV_API QVRESULT QVFileUnlock(QVFILE file, uint32_t offset, uint32_t length) {
  return os::OsFileRangeUnlock(file, offset, length) ? QV_S_OK : LastResult();
}

QV_API QVRESULT QVFileClose(QVFILE file) { return os::OsFileClose(file) ? QV_S_OK : LastResult(); }

QV_API QVRESULT QVFileDelete(const QVWCHAR* path) {
  if (path == nullptr) return QV_E_INVALIDARG;
  return os::OsFileRemove(file::PathText(qv::Wide(path))) ? QV_S_OK : file::PathFailure();
}

QV_API QVRESULT QVFileCopy(const QVWCHAR* source, const QVWCHAR* destination, uint32_t flags, uint32_t permissions,
                           QVFILE* file) {
  if (file != nullptr) *file = QV_INVALID_HANDLE;
  if (source == nullptr || destination == nullptr) return QV_E_INVALIDARG;
  file::OpenedFile in;
  QVRESULT r = file::OpenWithFlags(qv::Wide(source), QV_FILE_READ, 0, false, in);
  if (r < 0) return r;
  // The destination is truncated only once it is known not to be the source.
  file::OpenedFile out;
  r = file::OpenWithFlags(qv::Wide(destination), flags | QV_FILE_WRITE, permissions, true, out);
  if (r < 0) {
    os::OsFileClose(in.handle);
    return r;
  }
  bool same = false;
  if (!os::OsFileSameObject(in.handle, out.handle, &same)) r = LastResult();
  else if (same) r = QV_E_INVALIDARG;
  if (r >= 0 && out.truncatePending && !os::OsFileSetLength(out.handle, 0)) r = LastResult();
  if (r >= 0 && out.removePending && !os::OsFileRemove(file::PathText(qv::Wide(destination)))) r = file::PathFailure();
  uint64_t end;
  if (r >= 0 && (flags & QV_FILE_APPEND) && !os::OsFileMovePointer(out.handle, 0, 2, &end)) r = LastResult();
  if (r >= 0) r = CopyContents(in.handle, out.handle);
  os::OsFileClose(in.handle);
  if (r >= 0 && file != nullptr) {
    *file = out.handle;
  } else {
    os::OsFileClose(out.handle);
  }
  return r < 0 ? r : out.result;
}

}  // extern "C"
