// Environment variables of the process.
#pragma once
#include <string>

namespace qv::os {

// Stores the variable's value and returns true; false with last error 203
// when the variable is not set (or its name has no form on the platform) and
// 1113 when its value has no UTF-16 form. An empty value counts as set.
// Throws std::bad_alloc when the value cannot be copied.
bool EnvironmentValue(const char16_t* name, std::u16string& value);
// True when the variable is set, whatever its value.
bool HasEnvironmentVariable(const char16_t* name) noexcept;
// Sets the variable, or removes it when value is null. False with the last
// error set: 87 for an empty name or one holding "=", 1113 when the name or
// value has no exact form on the platform.
bool AssignEnvironmentValue(const char16_t* name, const char16_t* value) noexcept;

}  // namespace qv::os
