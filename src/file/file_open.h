// Opening files with the interface's open flags, shared by QVFileOpen and
// QVFileCopy.
#pragma once
#include <string_view>

#include "qvcore5/qv_file.h"
#include "base/wide.h"

namespace qv::file {

// The wide path as the 16-bit text the platform layer takes.
inline std::u16string_view PathText(const WChar* path) noexcept {
  return path == nullptr ? std::u16string_view() : std::u16string_view(reinterpret_cast<const char16_t*>(path));
}

// The result code of the platform's last error; a path the platform cannot
// name exactly, or one too long for it, is an invalid argument.
QVRESULT PathFailure() noexcept;

struct OpenedFile {
  void* handle = nullptr;
  QVRESULT result = QV_S_OK;      // 0, or QV_FILE_S_CREATED
  bool created = false;
  bool truncatePending = false;   // left to the caller when deferred
  bool removePending = false;
};

// Opens as QVFileOpen does. With `defer`, an existing file is neither
// truncated nor removed from its directory: the caller does that after its
// own checks. On failure returns the code and leaves no handle open.
QVRESULT OpenWithFlags(const WChar* path, uint32_t flags, uint32_t permissions, bool defer, OpenedFile& opened) noexcept;

}  // namespace qv::file
