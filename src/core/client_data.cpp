#include "core/client_data.h"

#include "core/lifecycle.h"

namespace qv::core {

CQVClientData::CQVClientData() : m_factoryManager(OwnModuleId()) {}
CQVClientData::~CQVClientData() = default;

}  // namespace qv::core
