// Environment variables of the process.
#pragma once
#include <string>

namespace qv::os {

// Stores the variable's value and returns true; returns false with last error
// 203 when the variable is not set. An empty value counts as set.
// Throws std::bad_alloc when the value cannot be copied.
bool GetEnvironmentVariable(const char* name, std::string& value);
// True when the variable is set, whatever its value.
bool HasEnvironmentVariable(const char* name) noexcept;

}  // namespace qv::os
