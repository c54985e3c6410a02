// The library's load-time entry. The backend calls it when the platform
// loads or unloads the library (load-time constructor and destructor on
// POSIX, the DLL entry point on Windows); the library's top defines it.
#pragma once
#include <cstdint>

namespace qv::os {

// Reasons, numbered as the Windows DLL entry point numbers them.
enum : uint32_t { kEntryProcessDetach = 0, kEntryProcessAttach = 1, kEntryThreadAttach = 2, kEntryThreadDetach = 3 };

}  // namespace qv::os

namespace qv::core {

// module: the platform's handle of the library (null where there is none).
// Returns nonzero, as the DLL entry point must for a successful attach.
int LibraryEntry(void* module, uint32_t reason, void* reserved) noexcept;

}  // namespace qv::core
