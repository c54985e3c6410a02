// Names of machine-wide objects. The library names them as on Windows
// ("SEM:" + name, "SHM:" + name); this maps such a name to the platform's
// object namespace.
#pragma once
#include <string>
#include <string_view>

namespace qv::os {

// Every name maps to one valid platform name and no two names to the same
// one. False with last error 206 when the mapped name would exceed the
// platform's limit, 87 when the name is empty.
bool MapObjectName(std::string_view platformName, std::string& mapped);

// Removes the library's machine-wide objects that no live process holds any
// more (their last holders were killed or ended without closing), so their
// memory does not wait for someone to open the same name again. Objects in
// use, or still being built by their creator, are left alone.
void ReclaimOrphanedObjects() noexcept;

}  // namespace qv::os
