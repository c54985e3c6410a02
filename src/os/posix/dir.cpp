// Directory listings: readdir for the names, statx for sizes, modes and the
// three times (the creation time where the file system keeps one).
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <mutex>
#include <new>
#include <string>

#include "os/posix/errno_map.h"
#include "os/os_error.h"
#include "os/os_file.h"
#include "os/os_handle.h"
#include "os/posix/file_name.h"

namespace qv::os {

namespace {

class DirSearch final : public LibraryObject {
 public:
  explicit DirSearch(DIR* dir) noexcept : m_dir(dir) {}
  ~DirSearch() override { ::closedir(m_dir); }

  DIR* const m_dir;
  std::mutex m_mutex;  // one reader of the stream at a time
  bool m_ended = false;
};

int64_t Seconds(const struct statx_timestamp& t) noexcept { return t.tv_sec; }

// Fills the entry from statx; false when the entry is gone.
bool Describe(int dirFd, const char* name, unsigned char type, DirEntryInfo* entry) noexcept {
  struct statx st;
  int rc = ::statx(dirFd, name, AT_NO_AUTOMOUNT, STATX_BASIC_STATS | STATX_BTIME, &st);
  if (rc != 0 && errno == ENOENT) {
    // A link to nothing is listed as the link itself.
    rc = ::statx(dirFd, name, AT_NO_AUTOMOUNT | AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS | STATX_BTIME, &st);
    if (rc != 0 && errno == ENOENT) return false;
  }
  if (rc != 0) {
    // Listed but not searchable: the name and the kind are all there is.
    entry->directory = type == DT_DIR;
    entry->readOnly = false;
    entry->size = 0;
    entry->creationTime = entry->accessTime = entry->modificationTime = 0;
    return true;
  }
  entry->directory = S_ISDIR(st.stx_mode);
  entry->readOnly = (st.stx_mode & 0222) == 0;
  entry->size = st.stx_size;
  entry->creationTime = (st.stx_mask & STATX_BTIME) ? Seconds(st.stx_btime) : 0;
  entry->accessTime = Seconds(st.stx_atime);
  entry->modificationTime = Seconds(st.stx_mtime);
  return true;
}

}  // namespace

void* OsDirSearchOpen(std::u16string_view path) noexcept {
  std::string native;
  if (!NativePath(path, native)) return nullptr;
  if (native.empty()) {
    StoreLastError(kErrorPathNotFound);
    return nullptr;
  }
  int fd;
  do {
    fd = ::open(native.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    StoreLastErrorFromErrno(errno);
    return nullptr;
  }
  DIR* dir = ::fdopendir(fd);
  if (dir == nullptr) {
    int err = errno;
    ::close(fd);
    StoreLastErrorFromErrno(err);
    return nullptr;
  }
  auto* search = new (std::nothrow) DirSearch(dir);
  if (search == nullptr) {
    ::closedir(dir);
    StoreLastError(kErrorOutOfMemory);
    return nullptr;
  }
  return InsertHandle(search);
}

bool OsDirSearchNext(void* handle, DirEntryInfo* entry) noexcept {
  LibraryObjectRef<DirSearch> search = ReferenceAs<DirSearch>(handle);
  if (!search) return false;
  std::lock_guard<std::mutex> guard(search->m_mutex);
  for (;;) {
    if (search->m_ended) {
      StoreLastError(kErrorNoMoreFiles);
      return false;
    }
    errno = 0;
    struct dirent* ent = ::readdir(search->m_dir);
    if (ent == nullptr) {
      if (errno != 0) {
        StoreLastErrorFromErrno(errno);
        return false;
      }
      search->m_ended = true;
      continue;
    }
    if (!Describe(::dirfd(search->m_dir), ent->d_name, ent->d_type, entry)) continue;
    WideName(ent->d_name, std::char_traits<char>::length(ent->d_name), entry->name, std::size(entry->name));
    return true;
  }
}

bool OsDirSearchClose(void* handle) noexcept {
  if (!ReferenceAs<DirSearch>(handle)) return false;
  return HandleClose(handle);
}

}  // namespace qv::os
