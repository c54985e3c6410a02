// The one errno-to-Windows-error table of the POSIX backend (private to it).
#pragma once
#include <cstdint>

namespace qv::os {

uint32_t ErrorFromErrno(int err) noexcept;
// Sets the last error from errno (or the given value) and returns it.
uint32_t StoreLastErrorFromErrno(int err) noexcept;

}  // namespace qv::os
