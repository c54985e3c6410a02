// What a store kept in one file needs beyond plain file handles: a
// machine-wide lock that a dying holder gives up, a path's identity to tell
// whether the file changed, and replacing one file by another in one step.
// Paths are 16-bit text; failures set the last error and return false or null.
#pragma once
#include <cstdint>
#include <string_view>

namespace qv::os {

// One exclusive lock per name for every thread of every process. The holder's
// death releases it. Not recursive.
class StoreLock {
 public:
  // Null with the last error set (206: name too long).
  static StoreLock* Open(std::string_view name) noexcept;
  ~StoreLock();
  StoreLock(const StoreLock&) = delete;
  StoreLock& operator=(const StoreLock&) = delete;
  void Take() noexcept;
  void Give() noexcept;

 private:
  struct Impl;
  explicit StoreLock(Impl* impl) noexcept : m_impl(impl) {}
  Impl* m_impl;
};

struct FileStamp {
  uint64_t device = 0;
  uint64_t fileNumber = 0;
  uint64_t size = 0;
  int64_t modifiedNs = 0;
  int64_t changedNs = 0;
  bool directory = false;
  bool operator==(const FileStamp&) const = default;
};

// False with error 2 (or 3) when nothing is there.
bool OsFileStampOf(std::u16string_view path, FileStamp* stamp) noexcept;

// Puts `from` in the place of `to` in one step: a reader sees the old file or
// the new one, never a mix. Both in the same folder.
bool OsFileReplaceWith(std::u16string_view from, std::u16string_view to) noexcept;

}  // namespace qv::os
