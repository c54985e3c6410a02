#include <unistd.h>

#include <cerrno>
#include <vector>

#include "os/os_error.h"
#include "os/os_path.h"
#include "os/posix/errno_map.h"

namespace qv::os {

bool GetCurrentDirectory(std::string& path) {
  std::vector<char> buffer(256);
  for (;;) {
    if (getcwd(buffer.data(), buffer.size()) != nullptr) {
      // A directory outside this process's root has no absolute name.
      if (buffer[0] != '/') {
        SetLastError(kErrorPathNotFound);
        return false;
      }
      path.assign(buffer.data());
      return true;
    }
    if (errno != ERANGE) {
      SetLastErrorFromErrno(errno);
      return false;
    }
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace qv::os
