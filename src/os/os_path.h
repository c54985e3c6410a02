// Current directory of the process.
#pragma once
#include <string>

namespace qv::os {

// Stores the current directory (narrow, in the locale's encoding, no
// trailing separator except for the root) and returns true; false with the
// last error set when the platform cannot tell (for example 2 when the
// directory was removed). Throws std::bad_alloc when memory runs out.
bool GetCurrentDirectory(std::string& path);

}  // namespace qv::os
