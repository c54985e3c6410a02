#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <utility>

#include "base/boundary.h"
#include "qvcore5/qvcore.h"

using qv::base::Bounded;
using qv::base::BoundedOut;
using qv::base::EQVCoreException;

TEST(ResultFromNative, MapsExactlyTheTable) {
  const std::pair<uint32_t, QVRESULT> table[] = {{0, 0},
                                                 {2, QV_E_NOTFOUND},
                                                 {3, QV_E_NOTFOUND},
                                                 {5, QV_E_ACCESSDENIED},
                                                 {6, QV_E_HANDLE},
                                                 {14, QV_E_OUTOFMEMORY},
                                                 {183, QV_E_EXISTS},
                                                 {258, QV_E_TIMEOUT}};
  for (auto [native, result] : table) EXPECT_EQ(QVResultFromNative(native), result) << native;
  // Everything else is the generic failure, never facility 7.
  for (uint32_t n : {1u, 4u, 8u, 87u, 259u, 1460u, 0xFFFFFFFFu}) EXPECT_EQ(QVResultFromNative(n), QV_E_FAIL) << n;
}

TEST(ErrorBoundary, TurnsEachKindOfExceptionIntoItsCode) {
  EXPECT_EQ(Bounded([]() -> QVRESULT { throw EQVCoreException(QV_E_EOF); }), QV_E_EOF);
  EXPECT_EQ(Bounded([]() -> QVRESULT { throw std::bad_alloc(); }), QV_E_OUTOFMEMORY);
  EXPECT_EQ(Bounded([]() -> QVRESULT {
              std::string s;
              s.reserve(s.max_size() + 1);  // std::length_error
              return 0;
            }),
            QV_E_FAIL);
  EXPECT_EQ(Bounded([]() -> QVRESULT { throw 42; }), QV_E_FAIL);
  EXPECT_EQ(Bounded([] { return QVRESULT{7}; }), 7);
}

TEST(ErrorBoundary, HandleOutputKeepsItsEmptyValueWhenTheBodyFails) {
  void* out = nullptr;
  QVRESULT r = BoundedOut(&out, QV_INVALID_HANDLE, []() -> QVRESULT { throw EQVCoreException(QV_E_ACCESSDENIED); });
  EXPECT_EQ(r, QV_E_ACCESSDENIED);
  EXPECT_EQ(out, QV_INVALID_HANDLE);
  EXPECT_EQ(BoundedOut(static_cast<void**>(nullptr), QV_INVALID_HANDLE, [] { return QVRESULT{0}; }), QV_E_INVALIDARG);
}

TEST(ErrorBoundary, NullOutPointerOfABoundedExportIsRefused) {
  EXPECT_EQ(QVMutexCreate("x", 0, nullptr), QV_E_INVALIDARG);
}
