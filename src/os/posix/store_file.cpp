// The store lock is an flock on a shared-memory file of its own name: the
// kernel drops a dead holder's flock. flock is per open description, so the
// threads of one process are kept apart by a mutex first.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <new>
#include <string>

#include "os/os_error.h"
#include "os/os_object_name.h"
#include "os/os_store_file.h"
#include "os/posix/errno_map.h"
#include "os/posix/file_name.h"

namespace qv::os {

struct StoreLock::Impl {
  int fd;
  std::mutex threads;
};

StoreLock* StoreLock::Open(std::string_view name) noexcept {
  std::string mapped;
  try {
    if (!MapObjectName(std::string("LCK:").append(name), mapped)) return nullptr;
    // Outside the prefix that orphan reclaiming scans: the lock file stays.
    mapped.insert(8, "-lock");
  } catch (const std::bad_alloc&) {
    StoreLastError(kErrorNotEnoughMemory);
    return nullptr;
  }
  int fd = shm_open(mapped.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) fd = shm_open(mapped.c_str(), O_RDONLY | O_CLOEXEC, 0);
  if (fd < 0) {
    StoreLastErrorFromErrno(errno);
    return nullptr;
  }
  Impl* impl = new (std::nothrow) Impl{fd, {}};
  StoreLock* lock = impl ? new (std::nothrow) StoreLock(impl) : nullptr;
  if (lock == nullptr) {
    delete impl;
    close(fd);
    StoreLastError(kErrorNotEnoughMemory);
  }
  return lock;
}

StoreLock::~StoreLock() {
  close(m_impl->fd);
  delete m_impl;
}

void StoreLock::Take() noexcept {
  m_impl->threads.lock();
  while (flock(m_impl->fd, LOCK_EX) != 0 && errno == EINTR) {
  }
}

void StoreLock::Give() noexcept {
  flock(m_impl->fd, LOCK_UN);
  m_impl->threads.unlock();
}

bool OsFileStampOf(std::u16string_view path, FileStamp* stamp) noexcept {
  std::string native;
  if (!NativePath(path, native)) return false;
  struct stat st;
  if (stat(native.c_str(), &st) != 0) {
    StoreLastErrorFromErrno(errno);
    return false;
  }
  stamp->device = st.st_dev;
  stamp->fileNumber = st.st_ino;
  stamp->size = static_cast<uint64_t>(st.st_size);
  stamp->modifiedNs = int64_t{st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec;
  stamp->changedNs = int64_t{st.st_ctim.tv_sec} * 1000000000 + st.st_ctim.tv_nsec;
  stamp->directory = S_ISDIR(st.st_mode);
  return true;
}

bool OsFileReplaceWith(std::u16string_view from, std::u16string_view to) noexcept {
  std::string nativeFrom, nativeTo;
  if (!NativePath(from, nativeFrom) || !NativePath(to, nativeTo)) return false;
  if (rename(nativeFrom.c_str(), nativeTo.c_str()) != 0) {
    StoreLastErrorFromErrno(errno);
    return false;
  }
  return true;
}

}  // namespace qv::os
