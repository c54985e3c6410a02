#include "os/posix/named_object.h"

#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "os/os_error.h"
#include "os/os_object_name.h"
#include "os/posix/errno_map.h"

namespace qv::os::posix {

namespace {

// A creator builds its object within microseconds; openers that find one
// still being built back off, up to about ten seconds in total.
constexpr int kMaxAttempts = 1100;

}  // namespace

int Flock(int fd, int operation) noexcept {
  int r;
  do {
    r = flock(fd, operation);
  } while (r != 0 && errno == EINTR);
  return r;
}

namespace {
bool Identity(int fd, uint64_t& device, uint64_t& inode) noexcept {
  struct stat st;
  if (fstat(fd, &st) != 0) return false;
  device = st.st_dev;
  inode = st.st_ino;
  return true;
}
}  // namespace

// Whether the name still refers to the object we hold. Only a holder of the
// exclusive lock may unlink a name, so for such a holder the answer cannot
// change before its own unlink.
bool NameRefersTo(const std::string& name, uint64_t device, uint64_t inode) noexcept {
  int fd = shm_open(name.c_str(), O_RDONLY, 0);
  if (fd < 0) return false;
  uint64_t d, i;
  bool same = Identity(fd, d, i) && d == device && i == inode;
  close(fd);
  return same;
}

namespace {

void Backoff(int attempt) noexcept {
  if (attempt < 4) {
    sched_yield();
    return;
  }
  long micros = 100L * (attempt < 100 ? attempt : 100);
  timespec ts{0, micros * 1000L};
  nanosleep(&ts, nullptr);
}

int Fail(int fd) noexcept {
  uint32_t error = StoreLastErrorFromErrno(errno);
  if (fd >= 0) close(fd);
  StoreLastError(error);
  return -1;
}

}  // namespace

int OpenNamedObject(const std::string& name, NamedOpen mode, bool writable, const NamedObjectBuilder& builder,
                    NamedObjectRef& out) {
  for (int attempt = 0; attempt < kMaxAttempts; ++attempt) {
    if (attempt > 0) Backoff(attempt);
    bool created = false;
    int fd = -1;
    if (mode == NamedOpen::kOpenOrCreate) {
      fd = shm_open(name.c_str(), O_RDWR | O_CREAT | O_EXCL, 0666);
      if (fd >= 0) created = true;
      else if (errno != EEXIST) return Fail(-1);
    }
    if (!created) {
      fd = shm_open(name.c_str(), writable ? O_RDWR : O_RDONLY, 0);
      if (fd < 0) {
        if (errno == ENOENT && mode == NamedOpen::kOpenOrCreate) continue;  // its last holder just closed it
        return Fail(-1);
      }
      // Nobody holds it: every holder was killed (or a creator has not
      // locked it yet and will notice the unlink). Either way it is gone.
      if (Flock(fd, LOCK_EX | LOCK_NB) == 0) {
        uint64_t device, inode;
        if (Identity(fd, device, inode) && NameRefersTo(name, device, inode)) shm_unlink(name.c_str());
        close(fd);
        continue;
      }
    }
    if (Flock(fd, LOCK_SH) != 0) return Fail(fd);
    NamedObjectRef ref;
    ref.fd = fd;
    ref.name = name;
    if (!Identity(fd, ref.device, ref.inode)) return Fail(fd);
    // A closer may have unlinked it before our lock: start over.
    if (!NameRefersTo(name, ref.device, ref.inode)) {
      close(fd);
      continue;
    }
    if (created) {
      if (!builder.initialize(fd, builder.context)) {
        uint32_t error = LastError();
        ReleaseNamedObject(ref);
        StoreLastError(error);
        return -1;
      }
      out = std::move(ref);
      return 1;
    }
    if (!builder.ready(fd, builder.context)) {
      close(fd);  // still being built; a dead builder is found by the probe above
      continue;
    }
    out = std::move(ref);
    return 0;
  }
  StoreLastError(kErrorBusy);
  return -1;
}

bool DuplicateNamedObject(const NamedObjectRef& from, bool writable, NamedObjectRef& out) {
  int fd = shm_open(from.name.c_str(), writable ? O_RDWR : O_RDONLY, 0);
  if (fd < 0 || Flock(fd, LOCK_SH) != 0) {
    Fail(fd);
    return false;
  }
  NamedObjectRef ref;
  ref.fd = fd;
  ref.name = from.name;
  if (!Identity(fd, ref.device, ref.inode)) {
    Fail(fd);
    return false;
  }
  // The holder keeps the name alive, so it cannot refer to another object.
  if (ref.device != from.device || ref.inode != from.inode) {
    close(fd);
    StoreLastError(kErrorInvalidHandle);
    return false;
  }
  out = std::move(ref);
  return true;
}

void ReleaseNamedObject(NamedObjectRef& ref) noexcept {
  if (ref.fd < 0) return;
  if (Flock(ref.fd, LOCK_EX | LOCK_NB) == 0 && NameRefersTo(ref.name, ref.device, ref.inode))
    shm_unlink(ref.name.c_str());
  close(ref.fd);
  ref.fd = -1;
}

}  // namespace qv::os::posix

namespace qv::os {

namespace {

// Where Linux keeps POSIX shared-memory names, and the mapped names' prefix
// there (MapObjectName without its leading "/").
constexpr char kShmDirectory[] = "/dev/shm";
constexpr char kOwnPrefix[] = "qvcore5.";

void ReclaimIfOrphaned(const std::string& name) noexcept {
  int fd = shm_open(name.c_str(), O_RDONLY, 0);
  if (fd < 0) return;
  // Non-blocking: a holder's shared lock means the object is in use. A
  // creator locks before it builds, so a built object (size above 0) that
  // nobody locks has lost all its holders. An object still empty may be a
  // creator's that is not locked yet: it is left to the next opener's probe.
  struct stat st;
  if (posix::Flock(fd, LOCK_EX | LOCK_NB) == 0 && fstat(fd, &st) == 0 && st.st_size > 0 &&
      posix::NameRefersTo(name, st.st_dev, st.st_ino))
    shm_unlink(name.c_str());
  close(fd);
}

}  // namespace

void ReclaimOrphanedObjects() noexcept {
  try {
    DIR* dir = opendir(kShmDirectory);
    if (dir == nullptr) return;
    std::string name;
    while (const dirent* entry = readdir(dir)) {
      if (std::strncmp(entry->d_name, kOwnPrefix, sizeof kOwnPrefix - 1) != 0) continue;
      name.assign("/").append(entry->d_name);
      ReclaimIfOrphaned(name);
    }
    closedir(dir);
  } catch (...) {
    // Out of memory: the orphans stay until their names are opened again.
  }
}

}  // namespace qv::os
