// Internal side of the diagnostics: the state a debugger would poke.
#pragma once
#include <cstdint>

namespace qv::core {

uint32_t AlertMethod() noexcept;
// Releases a thread waiting in an alert with the wait method (bit 0x4), as a
// debugger would by setting the continue flag.
void AlertContinue() noexcept;
bool AlertContinuePending() noexcept;

}  // namespace qv::core
