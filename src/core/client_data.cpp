#include "core/client_data.h"

namespace qv::core {

CQVClientData::CQVClientData() = default;
CQVClientData::~CQVClientData() = default;

}  // namespace qv::core
