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

}  // namespace qv::os
