// Text streams of the runtime library opened the way the library needs them.
#pragma once
#include <cstdio>

namespace qv::os {

// Opens path for appending (created when missing) so that child processes
// started later do not inherit the descriptor; null on failure.
std::FILE* OpenAppendStream(const char* path) noexcept;

}  // namespace qv::os
