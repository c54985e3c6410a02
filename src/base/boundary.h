// The error boundary of the exported interface: every export that calls
// throwing code runs its body through Bounded, so no exception leaves the
// library and the mapping to result codes lives in one place.
#pragma once
#include <new>

#include "base/exception.h"

namespace qv::base {

template <class Body>
QVRESULT Bounded(Body&& body) noexcept {
  try {
    return body();
  } catch (const EQVCoreException& e) {
    return e.Code();
  } catch (const std::bad_alloc&) {
    return QV_E_OUTOFMEMORY;
  } catch (...) {
    return QV_E_FAIL;
  }
}

// For creating exports: a null out pointer is refused, otherwise the out value
// is preset to its empty value before the body runs.
template <class T, class Empty, class Body>
QVRESULT BoundedOut(T* out, Empty empty, Body&& body) noexcept {
  if (out == nullptr) return QV_E_INVALIDARG;
  *out = static_cast<T>(empty);
  return Bounded(static_cast<Body&&>(body));
}

}  // namespace qv::base
