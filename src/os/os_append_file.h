// A file written only at its end, for reports that several writers (threads
// or processes) may extend at once.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace qv::os {

class AppendFile {
 public:
  AppendFile() noexcept = default;
  ~AppendFile() { Close(); }
  AppendFile(const AppendFile&) = delete;
  AppendFile& operator=(const AppendFile&) = delete;

  // Opens the file for appending, creating it when missing. False with the
  // last error set (1113 when the name has no exact form on the platform).
  bool Open(std::u16string_view name) noexcept;
  // Appends all the bytes at the current end of the file in one write, so
  // they never interleave with another writer's; false with the last error
  // set when not all of them were written.
  bool Append(const void* bytes, size_t length) noexcept;
  // False with the last error set when the file could not be completed.
  bool Close() noexcept;

 private:
  intptr_t m_file = -1;
};

}  // namespace qv::os
