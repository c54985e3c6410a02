// Comparisons in the string families.
#include <unicode/stringoptions.h>
#include <unicode/ustring.h>

#include <cstdint>
#include <cstring>
#include <cwctype>

#include "qvcore5/qv_string.h"
#include "text/units.h"
#include "base/wide.h"

using qv::WChar;

namespace {

using qv::text::UnitMismatch;

constexpr uint32_t kCaseOptions = U_FOLD_CASE_DEFAULT | U_COMPARE_CODE_POINT_ORDER;

// _wcsnicmp on 16-bit units: ASCII folded here, other units through towlower.
inline int LowerUnit(WChar u) noexcept {
  if (u < 0x80) return (u >= 'A' && u <= 'Z') ? u + 32 : u;
  wint_t l = std::towlower(u);
  if (!qv::text::FitsUnit(l)) return u;
  return static_cast<int>(l);
}

int WideICompare(const WChar* a, const WChar* b, size_t count) noexcept {
  for (size_t i = 0; i < count; ++i) {
    int fa = LowerUnit(a[i]), fb = LowerUnit(b[i]);
    if (fa != fb) return fa - fb;
    if (a[i] == 0) return 0;
  }
  return 0;
}

inline int32_t IcuLength(uint32_t count) noexcept { return count > INT32_MAX ? INT32_MAX : static_cast<int32_t>(count); }

}  // namespace

extern "C" {

QV_API int32_t QVStrCmpA(const char* first, const char* second) { return std::strcmp(first, second); }

QV_API int32_t QVStrCmpW(const QVWCHAR* first, const QVWCHAR* second) {
  size_t i = UnitMismatch(qv::Wide(first), qv::Wide(second));
  return (first[i] > second[i]) - (first[i] < second[i]);
}

QV_API int32_t QVStrCmpUCS2(const QVWCHAR* first, const QVWCHAR* second) {
  size_t i = UnitMismatch(qv::Wide(first), qv::Wide(second));
  return static_cast<int32_t>(first[i]) - static_cast<int32_t>(second[i]);
}

QV_API int32_t QVStrCmpUTF16(const QVWCHAR* first, const QVWCHAR* second) {
  return u_strcmpCodePointOrder(qv::Wide(first), qv::Wide(second));
}

QV_API int32_t QVStrNCmpA(const char* first, const char* second, uint32_t count) {
  return std::strncmp(first, second, count);
}

QV_API int32_t QVStrNCmpW(const QVWCHAR* first, const QVWCHAR* second, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i) {
    if (first[i] != second[i]) return first[i] < second[i] ? -1 : 1;
    if (first[i] == 0) break;
  }
  return 0;
}

QV_API int32_t QVStrNCmpUTF16(const QVWCHAR* first, const QVWCHAR* second, uint32_t count) {
  return u_strncmpCodePointOrder(qv::Wide(first), qv::Wide(second), IcuLength(count));
}

QV_API int32_t QVStrICmpW(const QVWCHAR* first, const QVWCHAR* second) {
  return WideICompare(qv::Wide(first), qv::Wide(second), SIZE_MAX);
}

QV_API int32_t QVStrNICmpW(const QVWCHAR* first, const QVWCHAR* second, uint32_t count) {
  return WideICompare(qv::Wide(first), qv::Wide(second), count);
}

QV_API int32_t QVStrICmpUCS2(const QVWCHAR* first, const QVWCHAR* second) {
  for (;; ++first, ++second) {
    int fa = (*first >= 'A' && *first <= 'Z') ? *first + 32 : *first;
    int fb = (*second >= 'A' && *second <= 'Z') ? *second + 32 : *second;
    if (fa != fb) return fa - fb;
    if (fa == 0) return 0;
  }
}

QV_API int32_t QVStrICmpUTF16(const QVWCHAR* first, const QVWCHAR* second) {
  return u_strcasecmp(qv::Wide(first), qv::Wide(second), kCaseOptions);
}

QV_API int32_t QVStrNICmpUTF16(const QVWCHAR* first, const QVWCHAR* second, uint32_t count) {
  return u_strncasecmp(qv::Wide(first), qv::Wide(second), IcuLength(count), kCaseOptions);
}

}  // extern "C"
