#include "os/os_error.h"
#include "os/os_object_name.h"

namespace qv::os {

namespace {
// Longest mapped name, in bytes, without the leading "/" (within NAME_MAX).
constexpr size_t kMaxObjectNameBytes = 253;
}  // namespace

// "/qvcore5." followed by the name, with "/", "%" and control characters
// written as "%XX" (upper-case hex).
bool MapObjectName(std::string_view platformName, std::string& mapped) {
  static constexpr char kPrefix[] = "/qvcore5.";
  static constexpr char kHex[] = "0123456789ABCDEF";
  if (platformName.empty()) {
    StoreLastError(kErrorInvalidParameter);
    return false;
  }
  std::string out = kPrefix;
  for (char c : platformName) {
    auto byte = static_cast<unsigned char>(c);
    if (byte == '/' || byte == '%' || byte < 0x20 || byte == 0x7F) {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 0xF];
    } else {
      out += c;
    }
    if (out.size() - 1 > kMaxObjectNameBytes) {
      StoreLastError(kErrorFilenameTooLong);
      return false;
    }
  }
  mapped = std::move(out);
  return true;
}

}  // namespace qv::os
