#include <unistd.h>

#include <cerrno>
#include <new>
#include <string>
#include <vector>

#include "os/os_error.h"
#include "os/os_path.h"
#include "os/posix/codeset.h"
#include "os/posix/errno_map.h"

namespace qv::os {

bool CurrentDirectory(std::u16string& path) {
  std::vector<char> buffer(256);
  for (;;) {
    if (getcwd(buffer.data(), buffer.size()) != nullptr) {
      // A directory outside this process's root has no absolute name.
      if (buffer[0] != '/') {
        StoreLastError(kErrorPathNotFound);
        return false;
      }
      return posix::NarrowToUtf16Exact(buffer.data(), path);
    }
    if (errno != ERANGE) {
      StoreLastErrorFromErrno(errno);
      return false;
    }
    buffer.resize(buffer.size() * 2);
  }
}

bool ChangeCurrentDirectory(std::u16string_view path) noexcept {
  try {
    std::string narrow;
    if (!posix::Utf16ToNarrowExact(path, narrow)) return false;
    if (narrow.empty() || narrow.find('\0') != std::string::npos) {
      StoreLastError(kErrorInvalidName);
      return false;
    }
    if (chdir(narrow.c_str()) != 0) {
      StoreLastErrorFromErrno(errno);
      return false;
    }
    return true;
  } catch (const std::bad_alloc&) {
    StoreLastError(kErrorOutOfMemory);
    return false;
  }
}

char16_t PreferredPathSeparator() noexcept { return u'/'; }

bool IsPathSeparator(char16_t unit) noexcept { return unit == u'/'; }

// Repeated leading slashes name the same root ("//" is left to the
// implementation by POSIX and is the root on Linux).
size_t PathRootLength(std::u16string_view path) noexcept { return !path.empty() && path.front() == u'/' ? 1 : 0; }

}  // namespace qv::os
