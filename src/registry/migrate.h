// Registry migration with the INI file's folder given (the export passes the
// current directory).
#pragma once
#include <cstdint>
#include <string>

#include "qvcore5/qv_base.h"

namespace qv::registry {

QVRESULT MigrateStores(uint32_t sourceKind, uint32_t destinationKind, const std::u16string& folder);

}  // namespace qv::registry
