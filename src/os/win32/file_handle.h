// File handles over system handles the win32 backend made itself (pipes),
// and the system handle behind a file handle (private to the backend).
#pragma once
#include <cstdint>

namespace qv::os::win32 {

// Publishes the system handle as a file handle with the os_file.h access
// bits; closes it and returns null when that fails.
void* PublishSystemHandle(void* system, uint32_t access) noexcept;

// An inheritable copy of the system handle behind a file handle, for a child
// to receive; null with the last error set (6 for a value that is no file).
void* InheritableCopy(void* file) noexcept;

}  // namespace qv::os::win32
