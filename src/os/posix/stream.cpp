#include "os/os_stream.h"

namespace qv::os {

// "e" is glibc's O_CLOEXEC: set at open, so no fork in another thread can
// slip in between open and a later fcntl.
std::FILE* OpenAppendStream(const char* path) noexcept { return std::fopen(path, "ae"); }

}  // namespace qv::os
