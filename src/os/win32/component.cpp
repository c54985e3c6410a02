// The COM task allocator (CoGetMalloc; usable without initialising COM) and
// UuidCreate, as the component model on Windows uses them.
#include <objbase.h>
#include <rpc.h>
#include <windows.h>

#include "os/os_component.h"
#include "os/os_error.h"
#include "os/win32/wide_text.h"

namespace qv::os {

namespace {
// Obtained once and kept for the process: late threads may still free blocks.
IMalloc* TaskAllocator() noexcept {
  static IMalloc* allocator = [] {
    IMalloc* found = nullptr;
    return SUCCEEDED(CoGetMalloc(1, &found)) ? found : nullptr;
  }();
  return allocator;
}
}  // namespace

void* ComponentMemoryTake(size_t size) noexcept {
  IMalloc* allocator = TaskAllocator();
  return allocator != nullptr ? allocator->Alloc(size) : nullptr;
}

void* ComponentMemoryResize(void* block, size_t size) noexcept {
  IMalloc* allocator = TaskAllocator();
  if (allocator == nullptr) return nullptr;
  if (size == 0) {
    allocator->Free(block);
    return nullptr;
  }
  return allocator->Realloc(block, size);
}

void ComponentMemoryGive(void* block) noexcept {
  if (IMalloc* allocator = TaskAllocator()) allocator->Free(block);
}

bool IdentifierMake(void* identifier) noexcept {
  UUID made;
  RPC_STATUS status = UuidCreate(&made);
  // RPC_S_UUID_LOCAL_ONLY still gives a random identifier; only failures refuse.
  if (status != RPC_S_OK && status != RPC_S_UUID_LOCAL_ONLY) {
    StoreLastError(static_cast<uint32_t>(status));
    return false;
  }
  static_assert(sizeof made == 16, "a UUID is 16 bytes");
  *static_cast<UUID*>(identifier) = made;
  return true;
}

}  // namespace qv::os
