// Names of machine-wide objects. The library names them as on Windows
// ("SEM:" + name, "SHM:" + name); this maps such a name to the platform's
// object namespace.
#pragma once
#include <string>
#include <string_view>

namespace qv::os {

// Longest mapped name, in bytes, without the leading "/".
constexpr size_t kMaxObjectNameBytes = 253;

// POSIX: "/qvcore5." followed by the name, with "/", "%" and control
// characters written as "%XX" (upper-case hex), so every name maps to one
// valid shm name and no two names collide. False with last error 206 when
// the result would exceed kMaxObjectNameBytes, 87 when the name is empty.
bool MapObjectName(std::string_view platformName, std::string& mapped);

// Removes the library's machine-wide objects that no live process holds any
// more (their last holders were killed or ended without closing), so their
// memory does not wait for someone to open the same name again. Objects in
// use, or still being built by their creator, are left alone.
void ReclaimOrphanedObjects() noexcept;

}  // namespace qv::os
