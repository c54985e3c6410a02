#include "os/os_error.h"
#include "os/os_object_name.h"

namespace qv::os {

namespace {
// The kernel's object names are limited to MAX_PATH units.
constexpr size_t kMaxObjectNameBytes = 260;
}  // namespace

// The name itself, with "\" (the kernel's namespace separator), "%" and
// control characters written as "%XX" (upper-case hex), so that no name
// reaches into the Global\ or Session\ namespaces.
bool MapObjectName(std::string_view platformName, std::string& mapped) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  if (platformName.empty()) {
    StoreLastError(kErrorInvalidParameter);
    return false;
  }
  std::string out;
  for (char c : platformName) {
    auto byte = static_cast<unsigned char>(c);
    if (byte == '\\' || byte == '%' || byte < 0x20 || byte == 0x7F) {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 0xF];
    } else {
      out += c;
    }
    if (out.size() > kMaxObjectNameBytes) {
      StoreLastError(kErrorFilenameTooLong);
      return false;
    }
  }
  mapped = std::move(out);
  return true;
}

// Kernel objects go with their last handle, a killed holder's included.
void ReclaimOrphanedObjects() noexcept {}

}  // namespace qv::os
