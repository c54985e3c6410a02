#include <malloc.h>
#include <unistd.h>

#include <cerrno>

#include "os/os_debug.h"

namespace qv::os {

void DebugOutput(const char* bytes, size_t length) noexcept {
  while (length > 0) {
    ssize_t n = write(STDERR_FILENO, bytes, length);
    if (n < 0) {
      if (errno == EINTR) continue;
      return;
    }
    bytes += n;
    length -= static_cast<size_t>(n);
  }
}

size_t HeapUsableSize(void* block) noexcept { return block ? malloc_usable_size(block) : 0; }

}  // namespace qv::os
