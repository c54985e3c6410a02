#include <windows.h>

#include <io.h>
#include <malloc.h>

#include <string>

#include "os/os_debug.h"

namespace qv::os {

// The bytes are UTF-8; the debugger gets them as one wide string, and the
// standard error stream (when the process has one) as one write, so lines of
// two threads never interleave in either.
void DebugOutput(const char* bytes, size_t length) noexcept {
  if (length == 0) return;
  _write(2, bytes, static_cast<unsigned>(length));
  try {
    int n = MultiByteToWideChar(CP_UTF8, 0, bytes, static_cast<int>(length), nullptr, 0);
    if (n <= 0) return;
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, bytes, static_cast<int>(length), wide.data(), n);
    OutputDebugStringW(wide.c_str());
  } catch (...) {
    // Debug output is best effort.
  }
}

size_t HeapUsableSize(void* block) noexcept { return block ? _msize(block) : 0; }

}  // namespace qv::os
