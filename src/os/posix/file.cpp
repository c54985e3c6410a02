// Files on POSIX descriptors. Locks are open-file-description locks, so two
// handles conflict even inside one process; the handle keeps its own list of
// ranges because the kernel merges a description's locks, cannot say whether
// a range was locked, and lets a description's later lock replace its own
// earlier one.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "os/posix/errno_map.h"
#include "os/os_error.h"
#include "os/os_file.h"
#include "os/os_handle.h"
#include "os/posix/file_descriptor.h"
#include "os/posix/file_name.h"

namespace qv::os {

namespace {

struct LockRecord {
  uint64_t offset;
  uint64_t length;
  bool shared;
  bool pending;  // asked of the kernel, not yet granted
};

class FileObject final : public LibraryObject {
 public:
  FileObject(int fd, uint32_t access, bool regular, bool pipeLike) noexcept
      : m_fd(fd), m_access(access), m_regular(regular), m_pipeLike(pipeLike) {}
  ~FileObject() override { ::close(m_fd); }

  const int m_fd;
  const uint32_t m_access;
  const bool m_regular;   // reads fill the buffer unless the end comes first
  const bool m_pipeLike;  // writes may meet a reader that has gone
  std::mutex m_lockMutex;
  std::vector<LockRecord> m_locks;
};

constexpr int kMaxOpenRetries = 16;
// Larger requests are split: read and write move at most about 2 GiB per call.
constexpr size_t kMaxIoChunk = size_t{1} << 30;

bool Fail(int err) noexcept {
  StoreLastErrorFromErrno(err);
  return false;
}

// Closes a descriptor that will not be handed out; null with the last error set.
void* Abandon(int fd, int err) noexcept {
  ::close(fd);
  Fail(err);
  return nullptr;
}

bool FailWith(uint32_t error) noexcept {
  StoreLastError(error);
  return false;
}

int OpenRetrying(const char* path, int flags, mode_t mode) noexcept {
  int fd;
  do {
    fd = ::open(path, flags, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

// Publishes the descriptor under a handle value; closes it when that fails.
void* Publish(int fd, uint32_t access, const struct stat& st) noexcept {
  auto* object = new (std::nothrow) FileObject(fd, access, S_ISREG(st.st_mode),
                                               S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode));
  if (object == nullptr) {
    ::close(fd);
    StoreLastError(kErrorOutOfMemory);
    return nullptr;
  }
  return InsertHandle(object);
}

LibraryObjectRef<FileObject> FileRef(void* file) noexcept { return ReferenceAs<FileObject>(file); }

bool Overlaps(const LockRecord& r, uint64_t offset, uint64_t length) noexcept {
  return r.offset < offset + length && offset < r.offset + r.length;
}

bool KernelLock(int fd, short type, uint64_t offset, uint64_t length, bool wait) noexcept {
  struct flock fl = {};
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  fl.l_start = static_cast<off_t>(offset);
  fl.l_len = static_cast<off_t>(length);
  int rc;
  do {
    rc = ::fcntl(fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &fl);
  } while (rc < 0 && errno == EINTR);
  return rc == 0;
}

// Releases the kernel's lock on the parts of the range no record of the
// handle still covers. Called with the handle's lock mutex held.
bool UnlockUncovered(FileObject& f, uint64_t offset, uint64_t length) noexcept {
  uint64_t end = offset + length;
  uint64_t at = offset;
  bool ok = true;
  while (at < end) {
    // Skip bytes some record covers; otherwise unlock up to the next covered byte.
    uint64_t coveredTo = at;
    uint64_t nextCovered = end;
    for (const LockRecord& r : f.m_locks) {
      if (r.offset <= at && at < r.offset + r.length) coveredTo = std::max(coveredTo, r.offset + r.length);
      else if (r.offset > at) nextCovered = std::min(nextCovered, r.offset);
    }
    if (coveredTo > at) {
      at = coveredTo;
      continue;
    }
    if (!KernelLock(f.m_fd, F_UNLCK, at, nextCovered - at, false)) ok = false;
    at = nextCovered;
  }
  return ok;
}

// Writes with SIGPIPE held back, so a reader that has gone shows as error 109
// and not as a signal that ends the caller's process.
struct PipeSignalGuard {
  sigset_t pipeSet;
  sigset_t saved;
  bool wasPending = false;
  PipeSignalGuard() noexcept {
    sigemptyset(&pipeSet);
    sigaddset(&pipeSet, SIGPIPE);
    sigset_t pending;
    sigpending(&pending);
    wasPending = sigismember(&pending, SIGPIPE) == 1;
    pthread_sigmask(SIG_BLOCK, &pipeSet, &saved);
  }
  // Takes away the SIGPIPE this thread's failed write raised.
  void Consume() noexcept {
    if (wasPending) return;
    struct timespec zero = {};
    while (sigtimedwait(&pipeSet, nullptr, &zero) < 0 && errno == EINTR) {
    }
  }
  ~PipeSignalGuard() { pthread_sigmask(SIG_SETMASK, &saved, nullptr); }
};

bool WriteAll(const FileObject& f, const char* data, uint32_t count, uint32_t* done) noexcept {
  uint32_t total = 0;
  while (total < count) {
    ssize_t n = ::write(f.m_fd, data + total, std::min<size_t>(count - total, kMaxIoChunk));
    if (n < 0) {
      if (errno == EINTR) continue;
      *done = total;
      return Fail(errno);
    }
    if (n == 0) {
      *done = total;
      return FailWith(kErrorDiskFull);
    }
    total += static_cast<uint32_t>(n);
  }
  *done = total;
  return true;
}

}  // namespace

void* OsFileOpen(std::u16string_view path, const FileOpenOptions& options, bool* created) noexcept {
  *created = false;
  std::string native;
  if (!NativePath(path, native)) return nullptr;
  if (native.empty()) {
    StoreLastError(kErrorPathNotFound);
    return nullptr;
  }
  bool write = (options.access & kFileAccessWrite) != 0;
  bool truncate = options.disposition == FileDisposition::kTruncateExisting ||
                  options.disposition == FileDisposition::kCreateAlways;
  if (truncate && !write) {
    StoreLastError(kErrorInvalidParameter);
    return nullptr;
  }
  int flags = O_CLOEXEC | O_NOCTTY;
  if (write) flags |= (options.access & kFileAccessRead) ? O_RDWR : O_WRONLY;
  else flags |= O_RDONLY;
  if (options.writeThrough) flags |= O_DSYNC;
  mode_t mode = options.readOnly ? 0444 : 0666;
  const char* name = native.c_str();

  // Truncation waits until the checks below have passed, so a refused open
  // leaves the file as it was.
  int fd = -1;
  switch (options.disposition) {
    case FileDisposition::kOpenExisting:
    case FileDisposition::kTruncateExisting: fd = OpenRetrying(name, flags, 0); break;
    case FileDisposition::kCreateNew:
      fd = OpenRetrying(name, flags | O_CREAT | O_EXCL, mode);
      *created = fd >= 0;
      break;
    case FileDisposition::kOpenAlways:
    case FileDisposition::kCreateAlways:
      // Exclusive creation decides who created the file, even between processes.
      for (int attempt = 0; attempt < kMaxOpenRetries; ++attempt) {
        fd = OpenRetrying(name, flags | O_CREAT | O_EXCL, mode);
        if (fd >= 0) {
          *created = true;
          break;
        }
        if (errno != EEXIST) break;
        fd = OpenRetrying(name, flags, 0);
        if (fd >= 0 || errno != ENOENT) break;  // removed in between: try again
      }
      break;
  }
  if (fd < 0) {
    StoreLastErrorFromErrno(errno);
    return nullptr;
  }
  struct stat st;
  if (::fstat(fd, &st) != 0) return Abandon(fd, errno);
  // A directory is not a file; a file without any write permission is read-only even for root.
  bool refused = S_ISDIR(st.st_mode) || (write && !*created && S_ISREG(st.st_mode) && (st.st_mode & 0222) == 0);
  if (refused) {
    ::close(fd);
    StoreLastError(kErrorAccessDenied);
    return nullptr;
  }
  if (truncate && !*created && S_ISREG(st.st_mode) && st.st_size != 0 && ::ftruncate(fd, 0) != 0)
    return Abandon(fd, errno);
  if (options.deleteOnClose && ::unlink(name) != 0) return Abandon(fd, errno);
  return Publish(fd, options.access, st);
}

void* OsFileOpenAnonymous(const FileOpenOptions& options) noexcept {
  const char* dir = std::getenv("TMPDIR");
  if (dir == nullptr || *dir == '\0') dir = "/tmp";
  mode_t mode = options.readOnly ? 0400 : 0600;
  int extra = options.writeThrough ? O_DSYNC : 0;
  int fd = OpenRetrying(dir, O_TMPFILE | O_RDWR | O_CLOEXEC | extra, mode);
  if (fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
    // No unnamed files on this file system: a unique name, removed at once.
    std::string templ = std::string(dir) + "/tmpXXXXXX";
    fd = ::mkostemp(templ.data(), O_CLOEXEC | extra);
    if (fd >= 0) ::unlink(templ.c_str());
  }
  if (fd < 0) {
    StoreLastErrorFromErrno(errno);
    return nullptr;
  }
  struct stat st;
  if (::fstat(fd, &st) != 0) return Abandon(fd, errno);
  return Publish(fd, options.access, st);
}

namespace posix {

void* PublishDescriptor(int fd, uint32_t access) noexcept {
  struct stat st;
  if (::fstat(fd, &st) != 0) return Abandon(fd, errno);
  return Publish(fd, access, st);
}

int CopyDescriptor(void* file) noexcept {
  LibraryObjectRef<FileObject> f = FileRef(file);
  if (!f) return -1;
  int fd = ::fcntl(f->m_fd, F_DUPFD_CLOEXEC, 3);
  if (fd < 0) Fail(errno);
  return fd;
}

}  // namespace posix

void StreamKeepFromChildren(std::FILE* stream) noexcept {
  int fd = stream != nullptr ? ::fileno(stream) : -1;
  if (fd < 0) return;
  int flags = ::fcntl(fd, F_GETFD);
  if (flags >= 0) ::fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
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
    ssize_t n = ::read(f->m_fd, out + total, std::min<size_t>(count - total, kMaxIoChunk));
    if (n < 0) {
      if (errno == EINTR) continue;
      *done = total;
      return Fail(errno);
    }
    if (n == 0) break;
    total += static_cast<uint32_t>(n);
    if (!f->m_regular) break;
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
  if (!f->m_pipeLike) return WriteAll(*f.get(), data, count, done);
  PipeSignalGuard guard;
  bool ok = WriteAll(*f.get(), data, count, done);
  if (!ok && LastError() == kErrorBrokenPipe) guard.Consume();
  return ok;
}

bool OsFileMovePointer(void* file, int64_t distance, uint32_t method, uint64_t* position) noexcept {
  LibraryObjectRef<FileObject> f = FileRef(file);
  if (!f) return false;
  static constexpr int kWhence[] = {SEEK_SET, SEEK_CUR, SEEK_END};
  if (method > 2) return FailWith(kErrorInvalidParameter);
  off_t at = ::lseek(f->m_fd, static_cast<off_t>(distance), kWhence[method]);
  if (at < 0) {
    // The only invalid argument left is a position before the start.
    return errno == EINVAL ? FailWith(kErrorNegativeSeek) : Fail(errno);
  }
  *position = static_cast<uint64_t>(at);
  return true;
}

bool OsFileSyncData(void* file) noexcept {
  LibraryObjectRef<FileObject> f = FileRef(file);
  if (!f) return false;
  if (::fsync(f->m_fd) != 0) {
    // Pipes and terminals have nothing to write back.
    if (errno == EINVAL || errno == EROFS) return true;
    return Fail(errno);
  }
  return true;
}

bool OsFileQuerySize(void* file, uint64_t* size) noexcept {
  LibraryObjectRef<FileObject> f = FileRef(file);
  if (!f) return false;
  struct stat st;
  if (::fstat(f->m_fd, &st) != 0) return Fail(errno);
  *size = static_cast<uint64_t>(st.st_size);
  return true;
}

bool OsFileSetLength(void* file, uint64_t length) noexcept {
  LibraryObjectRef<FileObject> f = FileRef(file);
  if (!f) return false;
  if (!(f->m_access & kFileAccessWrite)) return FailWith(kErrorAccessDenied);
  int rc;
  do {
    rc = ::ftruncate(f->m_fd, static_cast<off_t>(length));
  } while (rc != 0 && errno == EINTR);
  return rc == 0 || Fail(errno);
}

bool OsFileSameObject(void* first, void* second, bool* same) noexcept {
  LibraryObjectRef<FileObject> a = FileRef(first);
  if (!a) return false;
  LibraryObjectRef<FileObject> b = FileRef(second);
  if (!b) return false;
  struct stat sa, sb;
  if (::fstat(a->m_fd, &sa) != 0 || ::fstat(b->m_fd, &sb) != 0) return Fail(errno);
  *same = sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
  return true;
}

bool OsFileRangeLock(void* file, uint64_t offset, uint64_t length, bool shared, bool wait) noexcept {
  if (length == 0) return FailWith(kErrorInvalidParameter);
  LibraryObjectRef<FileObject> f = FileRef(file);
  if (!f) return false;
  try {
    std::lock_guard<std::mutex> guard(f->m_lockMutex);
    for (const LockRecord& r : f->m_locks) {
      // The handle's own locks: only shared over shared may overlap.
      if (Overlaps(r, offset, length) && (!shared || !r.shared || r.pending)) return FailWith(kErrorLockViolation);
    }
    f->m_locks.push_back({offset, length, shared, true});
  } catch (...) {
    return FailWith(kErrorOutOfMemory);
  }
  bool granted = KernelLock(f->m_fd, shared ? F_RDLCK : F_WRLCK, offset, length, wait);
  int err = errno;
  std::lock_guard<std::mutex> guard(f->m_lockMutex);
  auto it = std::find_if(f->m_locks.begin(), f->m_locks.end(), [&](const LockRecord& r) {
    return r.pending && r.offset == offset && r.length == length && r.shared == shared;
  });
  if (granted) {
    it->pending = false;
    return true;
  }
  f->m_locks.erase(it);
  // An unlock meanwhile may have left bytes to this request; give them back.
  UnlockUncovered(*f.get(), offset, length);
  switch (err) {
    case EAGAIN:
    case EACCES:
    case EDEADLK: return FailWith(kErrorLockViolation);
    case EBADF: return FailWith(kErrorAccessDenied);  // the lock kind needs read or write access
    default: return Fail(err);
  }
}

bool OsFileRangeUnlock(void* file, uint64_t offset, uint64_t length) noexcept {
  LibraryObjectRef<FileObject> f = FileRef(file);
  if (!f) return false;
  std::lock_guard<std::mutex> guard(f->m_lockMutex);
  auto it = std::find_if(f->m_locks.begin(), f->m_locks.end(), [&](const LockRecord& r) {
    return !r.pending && r.offset == offset && r.length == length;
  });
  if (it == f->m_locks.end() || length == 0) return FailWith(kErrorNotLocked);
  f->m_locks.erase(it);
  return UnlockUncovered(*f.get(), offset, length) || Fail(errno);
}

bool OsFileCopyChunk(void* from, void* to, uint64_t count, uint64_t* copied) noexcept {
  *copied = 0;
  LibraryObjectRef<FileObject> src = FileRef(from);
  if (!src) return false;
  LibraryObjectRef<FileObject> dst = FileRef(to);
  if (!dst) return false;
  if (!(src->m_access & kFileAccessRead) || !(dst->m_access & kFileAccessWrite)) return FailWith(kErrorAccessDenied);
  if (!src->m_regular || !dst->m_regular) return FailWith(kErrorNotSupported);
  ssize_t n;
  do {
    n = ::copy_file_range(src->m_fd, nullptr, dst->m_fd, nullptr, std::min<uint64_t>(count, kMaxIoChunk), 0);
  } while (n < 0 && errno == EINTR);
  if (n < 0) {
    switch (errno) {
      case EXDEV:
      case EINVAL:
      case EOPNOTSUPP:
      case ENOSYS:
      case EBADF:
      case ETXTBSY:
      case EPERM: return FailWith(kErrorNotSupported);
      default: return Fail(errno);
    }
  }
  *copied = static_cast<uint64_t>(n);
  return true;
}

bool OsFileRemove(std::u16string_view path) noexcept {
  std::string native;
  if (!NativePath(path, native)) return false;
  return ::unlink(native.c_str()) == 0 || Fail(errno);
}

bool OsDirMake(std::u16string_view path) noexcept {
  std::string native;
  if (!NativePath(path, native)) return false;
  return ::mkdir(native.c_str(), 0777) == 0 || Fail(errno);
}

bool OsDirDelete(std::u16string_view path) noexcept {
  std::string native;
  if (!NativePath(path, native)) return false;
  return ::rmdir(native.c_str()) == 0 || Fail(errno);
}

}  // namespace qv::os
