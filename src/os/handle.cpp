#include <mutex>
#include <new>
#include <vector>

#include "os/os_handle.h"

namespace qv::os {

namespace {

// Value layout: bits 0-1 zero (like Windows handles, and never the all-ones
// or the pseudo values), then the slot index + 1, then the slot generation.
constexpr unsigned kIndexShift = 2;
constexpr unsigned kIndexBits = 22;
constexpr uintptr_t kIndexMask = (uintptr_t{1} << kIndexBits) - 1;
constexpr unsigned kGenerationShift = kIndexShift + kIndexBits;
constexpr uintptr_t kGenerationMask = ~uintptr_t{0} >> kGenerationShift;

struct Slot {
  LibraryObject* object = nullptr;
  uintptr_t generation = 1;
};

struct HandleTable {
  std::mutex lock;
  std::vector<Slot> slots;
  std::vector<uint32_t> freeSlots;
  size_t open = 0;
};

// Never destroyed: handles may be closed from the library's unload-time
// teardown, after static destructors have run.
HandleTable& Table() noexcept {
  static HandleTable* table = new HandleTable();
  return *table;
}

void* Encode(size_t index, uintptr_t generation) noexcept {
  return reinterpret_cast<void*>(((generation & kGenerationMask) << kGenerationShift) |
                                 ((static_cast<uintptr_t>(index) + 1) << kIndexShift));
}

// The slot a value names, or null when the value is not open.
Slot* Find(HandleTable& table, void* handle) noexcept {
  uintptr_t value = reinterpret_cast<uintptr_t>(handle);
  if ((value & ((uintptr_t{1} << kIndexShift) - 1)) != 0) return nullptr;
  uintptr_t encodedIndex = (value >> kIndexShift) & kIndexMask;
  if (encodedIndex == 0 || encodedIndex > table.slots.size()) return nullptr;
  Slot& slot = table.slots[encodedIndex - 1];
  if (slot.object == nullptr || (slot.generation & kGenerationMask) != (value >> kGenerationShift)) return nullptr;
  return &slot;
}

}  // namespace

void* InsertHandle(LibraryObject* object) noexcept {
  HandleTable& table = Table();
  try {
    std::lock_guard<std::mutex> guard(table.lock);
    size_t index;
    if (!table.freeSlots.empty()) {
      index = table.freeSlots.back();
      table.freeSlots.pop_back();
    } else {
      if (table.slots.size() >= kIndexMask) throw std::bad_alloc();
      table.slots.emplace_back();
      index = table.slots.size() - 1;
      // The free list gets room for every slot now, so closing never allocates.
      if (table.freeSlots.capacity() < table.slots.capacity()) table.freeSlots.reserve(table.slots.capacity());
    }
    Slot& slot = table.slots[index];
    slot.object = object;
    ++table.open;
    return Encode(index, slot.generation);
  } catch (...) {
    object->Release();
    StoreLastError(kErrorOutOfMemory);
    return nullptr;
  }
}

LibraryObject* ReferenceHandle(void* handle) noexcept {
  HandleTable& table = Table();
  std::lock_guard<std::mutex> guard(table.lock);
  Slot* slot = Find(table, handle);
  if (slot == nullptr) {
    StoreLastError(kErrorInvalidHandle);
    return nullptr;
  }
  slot->object->AddRef();
  return slot->object;
}

bool HandleClose(void* handle) noexcept {
  HandleTable& table = Table();
  LibraryObject* object;
  {
    std::lock_guard<std::mutex> guard(table.lock);
    Slot* slot = Find(table, handle);
    if (slot == nullptr) {
      StoreLastError(kErrorInvalidHandle);
      return false;
    }
    object = slot->object;
    slot->object = nullptr;
    ++slot->generation;
    table.freeSlots.push_back(static_cast<uint32_t>(slot - table.slots.data()));
    --table.open;
  }
  // Outside the table lock: releasing may run a platform close.
  object->Release();
  return true;
}

size_t OpenHandleCount() noexcept {
  HandleTable& table = Table();
  std::lock_guard<std::mutex> guard(table.lock);
  return table.open;
}

}  // namespace qv::os
