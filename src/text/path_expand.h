// Lexical full paths with the POSIX separator.
#pragma once
#include <string>
#include <string_view>

namespace qv::text {

// The full path of `path` against the absolute `directory`: "/" is the only
// separator (a backslash is an ordinary character), runs of separators count
// as one, "." is dropped, ".." removes the component before it and stops at
// the root. A trailing separator on a path that names a component is kept.
std::u16string CombineFullPath(std::u16string_view directory, std::u16string_view path);

}  // namespace qv::text
