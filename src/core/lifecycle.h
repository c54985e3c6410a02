// Library start and end. The shared library runs them from a load-time
// constructor and an unload-time destructor; tests drive them directly.
#pragma once
#include "qvcore5/qv_module.h"

namespace qv::core {

void LibraryStart() noexcept;
// 0x80004005 without a matching start.
QVRESULT LibraryEnd() noexcept;

int32_t AttachCount() noexcept;
// The library's own module identifier: the address of its entry routine.
QVMODULEID OwnModuleId() noexcept;

}  // namespace qv::core
