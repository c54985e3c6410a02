// The C heap is the process's one shared heap; identifiers are random bytes
// with the version and variant bits set.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "os/os_component.h"
#include "os/os_loader.h"

namespace qv::os {

void* ComponentMemoryTake(size_t size) noexcept { return std::malloc(size); }

void* ComponentMemoryResize(void* block, size_t size) noexcept {
  if (size == 0) {
    std::free(block);
    return nullptr;
  }
  return std::realloc(block, size);
}

void ComponentMemoryGive(void* block) noexcept { std::free(block); }

bool IdentifierMake(void* identifier) noexcept {
  auto* bytes = static_cast<uint8_t*>(identifier);
  if (!RandomFill(bytes, 16)) return false;
  // The version is the top of the third field (a native 16-bit number at 6).
  uint16_t third;
  std::memcpy(&third, bytes + 6, sizeof third);
  third = static_cast<uint16_t>((third & 0x0FFF) | 0x4000);
  std::memcpy(bytes + 6, &third, sizeof third);
  bytes[8] = static_cast<uint8_t>((bytes[8] & 0x3F) | 0x80);  // RFC 4122 variant
  return true;
}

}  // namespace qv::os
