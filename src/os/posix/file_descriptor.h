// File handles over descriptors the POSIX backend made itself (pipes) and the
// descriptor behind a file handle (private to the backend).
#pragma once
#include <cstdint>

namespace qv::os::posix {

// Publishes the descriptor as a file handle with the os_file.h access bits;
// closes it and returns null when that fails.
void* PublishDescriptor(int fd, uint32_t access) noexcept;

// A close-on-exec copy of the descriptor behind a file handle, numbered 3 or
// higher; -1 with the last error set (6 for a value that is no file handle).
int CopyDescriptor(void* file) noexcept;

}  // namespace qv::os::posix
