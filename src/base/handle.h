// Handles given to callers are pointers to library objects. A null or
// all-ones handle is refused instead of being dereferenced.
#pragma once
#include "base/boundary.h"

namespace qv::base {

template <class Object, class Handle>
inline Object* ObjectFromHandle(Handle handle) noexcept {
  if (handle == nullptr || handle == reinterpret_cast<Handle>(QV_INVALID_HANDLE)) return nullptr;
  return reinterpret_cast<Object*>(handle);
}

// Runs body(object) inside the error boundary; 0x80070006 for a bad handle.
// Object::FromHandle is the one place that turns a handle into its object.
template <class Object, class Handle, class Body>
QVRESULT BoundedOnHandle(Handle handle, Body&& body) noexcept {
  Object* object = Object::FromHandle(handle);
  if (object == nullptr) return QV_E_HANDLE;
  return Bounded([&] { return body(*object); });
}

}  // namespace qv::base
