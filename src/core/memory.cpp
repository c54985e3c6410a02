// One heap for callers: the C heap, so blocks move freely between the calls.
#include <cstdlib>
#include <cstring>

#include "os/os_debug.h"
#include "qvcore5/qv_memory.h"

namespace {
// Sizes in the interface are 32-bit; a usable size beyond that is reported as the maximum.
uint32_t UsableSize(void* block) {
  size_t n = qv::os::HeapUsableSize(block);
  return n > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(n);
}
}  // namespace

extern "C" {

QV_API QVRESULT QVMalloc(uint32_t size, void** block) {
  if (block == nullptr) return QV_E_INVALIDARG;
  *block = std::malloc(size);
  return *block ? QV_S_OK : QV_E_OUTOFMEMORY;
}

QV_API QVRESULT QVCalloc(uint32_t count, uint32_t elementSize, void** block) {
  if (block == nullptr) return QV_E_INVALIDARG;
  *block = nullptr;
  // Block sizes are 32-bit: a product beyond that would be a block no size
  // argument of this interface could describe, so it fails like a full heap.
  uint64_t bytes = static_cast<uint64_t>(count) * elementSize;
  if (bytes > UINT32_MAX) return QV_E_OUTOFMEMORY;
  *block = std::calloc(count, elementSize);
  return *block ? QV_S_OK : QV_E_OUTOFMEMORY;
}

QV_API QVRESULT QVRealloc(void** block, uint32_t size) {
  if (block == nullptr) return QV_E_INVALIDARG;
  if (size == 0 && *block != nullptr) {
    std::free(*block);  // realloc(p, 0) is implementation-defined; the design frees
    *block = nullptr;
    return QV_S_OK;
  }
  void* grown = std::realloc(*block, size);
  if (grown == nullptr && size != 0) return QV_E_OUTOFMEMORY;
  *block = grown;
  return QV_S_OK;
}

QV_API QVRESULT QVRecalloc(void** block, uint32_t size) {
  if (block == nullptr) return QV_E_INVALIDARG;
  if (*block == nullptr) {
    *block = std::calloc(size, 1);
    return *block ? QV_S_OK : QV_E_OUTOFMEMORY;
  }
  if (size == 0) {
    std::free(*block);
    *block = nullptr;
    return QV_S_OK;
  }
  size_t oldUsable = qv::os::HeapUsableSize(*block);
  if (oldUsable == 0) return QV_E_POINTER;
  void* grown = std::realloc(*block, size);
  if (grown == nullptr) return QV_E_OUTOFMEMORY;
  *block = grown;
  size_t newUsable = qv::os::HeapUsableSize(grown);
  // Zero up to the new usable size, not only the requested size: a later
  // growth in place would otherwise expose stale bytes.
  if (newUsable > oldUsable) std::memset(static_cast<char*>(grown) + oldUsable, 0, newUsable - oldUsable);
  return QV_S_OK;
}

QV_API uint32_t QVMallocSize(void* block) { return UsableSize(block); }

QV_API QVRESULT QVFree(void* block) {
  std::free(block);
  return QV_S_OK;
}

QV_API uint32_t QVGetAlignedSize(uint32_t size) { return (size + 3u) & ~3u; }

}  // extern "C"
