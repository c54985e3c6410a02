// Debugger output channel and heap queries.
#pragma once
#include <cstddef>

namespace qv::os {

// Writes the bytes to the debugger output (the standard error stream on
// POSIX) in one piece, so that lines of two threads never interleave.
void DebugOutput(const char* bytes, size_t length) noexcept;

// Usable size of a heap block; 0 when the heap cannot tell.
size_t HeapUsableSize(void* block) noexcept;

}  // namespace qv::os
