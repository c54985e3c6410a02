// Handle values given to callers for platform objects (sections, threads,
// files). A value names a slot of one process-wide table together with
// the slot's generation, so a closed or made-up value is refused with error 6
// instead of reaching freed memory, and a second close of the same value
// fails as it does on Windows. Objects are reference-counted: an operation
// that looks a handle up keeps the object alive even if another thread closes
// the handle meanwhile.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "os/os_error.h"

namespace qv::os {

class LibraryObject {
 public:
  LibraryObject(const LibraryObject&) = delete;
  LibraryObject& operator=(const LibraryObject&) = delete;

  void AddRef() noexcept { m_refs.fetch_add(1, std::memory_order_relaxed); }
  void Release() noexcept {
    if (m_refs.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
  }

 protected:
  LibraryObject() = default;  // created holding one reference
  virtual ~LibraryObject() = default;

 private:
  std::atomic<uint32_t> m_refs{1};
};

// Publishes the object under a new handle value; the table takes over the
// caller's reference. On failure (last error 14) the reference is released.
void* InsertHandle(LibraryObject* object) noexcept;

// A new reference to the object behind the value, or null with last error 6.
LibraryObject* ReferenceHandle(void* handle) noexcept;

// Closes the value; the object goes once its last reference is released.
// False with last error 6 when the value is not an open handle.
bool HandleClose(void* handle) noexcept;

// Open handle values of the process (for tests).
size_t OpenHandleCount() noexcept;

// Holds one reference; ReferenceAs checks the object's kind.
template <class T>
class LibraryObjectRef {
 public:
  LibraryObjectRef() = default;
  explicit LibraryObjectRef(T* object) noexcept : m_object(object) {}
  LibraryObjectRef(LibraryObjectRef&& other) noexcept : m_object(other.m_object) { other.m_object = nullptr; }
  LibraryObjectRef& operator=(LibraryObjectRef&& other) noexcept {
    if (this != &other) {
      Reset();
      m_object = other.m_object;
      other.m_object = nullptr;
    }
    return *this;
  }
  ~LibraryObjectRef() { Reset(); }
  void Reset() noexcept {
    if (m_object != nullptr) m_object->Release();
    m_object = nullptr;
  }
  T* operator->() const noexcept { return m_object; }
  T* get() const noexcept { return m_object; }
  explicit operator bool() const noexcept { return m_object != nullptr; }

 private:
  T* m_object = nullptr;
};

template <class T>
LibraryObjectRef<T> ReferenceAs(void* handle) noexcept {
  LibraryObject* object = ReferenceHandle(handle);
  if (object == nullptr) return {};
  if (T* typed = dynamic_cast<T*>(object)) return LibraryObjectRef<T>(typed);
  object->Release();
  StoreLastError(kErrorInvalidHandle);
  return {};
}

}  // namespace qv::os
