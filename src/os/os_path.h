// Current directory of the process and the platform's path grammar.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

namespace qv::os {

// Stores the current directory (no trailing separator except for a root) and
// returns true; false with the last error set when the platform cannot tell
// (2 when the directory was removed, 1113 when its name has no UTF-16 form).
// Throws std::bad_alloc when memory runs out.
bool CurrentDirectory(std::u16string& path);
// Makes the directory the current one; false with the last error set (1113
// when the name has no exact form on the platform).
bool ChangeCurrentDirectory(std::u16string_view path) noexcept;

// The separator the platform writes between components.
char16_t PreferredPathSeparator() noexcept;
// True for every unit the platform reads as a separator ("/" on POSIX; "\"
// and "/" on Windows).
bool IsPathSeparator(char16_t unit) noexcept;
// Length of the path's root, the part a relative path cannot climb above and
// a combination keeps unchanged ("/" on POSIX; "C:\" or "\\server\share\" on
// Windows); 0 when the path is relative to the current directory.
size_t PathRootLength(std::u16string_view path) noexcept;

}  // namespace qv::os
