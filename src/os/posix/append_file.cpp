#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <new>
#include <string>

#include "os/os_append_file.h"
#include "os/os_error.h"
#include "os/posix/codeset.h"
#include "os/posix/errno_map.h"

namespace qv::os {

bool AppendFile::Open(std::u16string_view name) noexcept {
  Close();
  try {
    std::string narrow;
    if (!posix::Utf16ToNarrowExact(name, narrow)) return false;
    if (narrow.empty() || narrow.find('\0') != std::string::npos) {
      StoreLastError(kErrorInvalidName);
      return false;
    }
    int fd = open(narrow.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    if (fd < 0) {
      StoreLastErrorFromErrno(errno);
      return false;
    }
    m_file = fd;
    return true;
  } catch (const std::bad_alloc&) {
    StoreLastError(kErrorOutOfMemory);
    return false;
  }
}

bool AppendFile::Append(const void* bytes, size_t length) noexcept {
  if (m_file < 0) {
    StoreLastError(kErrorInvalidHandle);
    return false;
  }
  // O_APPEND places every write at the end; a write cut short (a full disk,
  // a signal) is continued, as fwrite would.
  const char* p = static_cast<const char*>(bytes);
  while (length > 0) {
    ssize_t n = write(static_cast<int>(m_file), p, length);
    if (n < 0) {
      if (errno == EINTR) continue;
      StoreLastErrorFromErrno(errno);
      return false;
    }
    p += n;
    length -= static_cast<size_t>(n);
  }
  return true;
}

bool AppendFile::Close() noexcept {
  if (m_file < 0) return true;
  int fd = static_cast<int>(m_file);
  m_file = -1;
  if (close(fd) != 0 && errno != EINTR) {
    StoreLastErrorFromErrno(errno);
    return false;
  }
  return true;
}

}  // namespace qv::os
