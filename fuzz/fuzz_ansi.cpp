// Narrow text of the locale (UTF-8 here) <-> UTF-16 with the mbstowcs and
// wcstombs rules: against the C runtime's own functions on 32-bit wchar_t,
// guard units around every destination, sources in exact-size heap blocks.
#include <clocale>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "fuzz_guard.h"
#include "qvcore5/qvcore.h"

namespace {

constexpr size_t kFailed = static_cast<size_t>(-1);

// The runtime's answer in UTF-16 units, or kFailed. glibc also decodes the
// old five- and six-byte forms, up to 0x7FFFFFFF; those values have no UTF-16
// form, so they fail here.
size_t ReferenceUnits(const char* text, std::vector<QVWCHAR>& units) {
  size_t n = std::mbstowcs(nullptr, text, 0);
  if (n == kFailed) return kFailed;
  std::vector<wchar_t> wide(n + 1);
  std::mbstowcs(wide.data(), text, n + 1);
  for (size_t i = 0; i < n; ++i) {
    auto c = static_cast<uint32_t>(wide[i]);
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return kFailed;
    if (c >= 0x10000) {
      units.push_back(static_cast<QVWCHAR>(0xD800 + ((c - 0x10000) >> 10)));
      units.push_back(static_cast<QVWCHAR>(0xDC00 + ((c - 0x10000) & 0x3FF)));
    } else {
      units.push_back(static_cast<QVWCHAR>(c));
    }
  }
  return units.size();
}

void NarrowToWide(const uint8_t* data, size_t size) {
  auto text = std::make_unique<char[]>(size + 1);
  if (size > 0) std::memcpy(text.get(), data, size);
  text[size] = '\0';
  std::vector<QVWCHAR> expected;
  size_t need = ReferenceUnits(text.get(), expected);
  if (QVAnsiToUnicode(nullptr, text.get(), 0) != need) std::abort();
  for (size_t capacity : {size_t{1}, size_t{2}, size_t{5}, need, need + 1, size + 1}) {
    if (need == kFailed && capacity == kFailed) continue;
    if (capacity == 0 || capacity > size + 2) continue;
    GuardedBuffer<QVWCHAR> out(capacity);
    size_t n = QVAnsiToUnicode(out.data(), text.get(), capacity);
    out.Check();
    if (need == kFailed) {
      if (n != kFailed && n > capacity) std::abort();
      continue;
    }
    if (n > capacity || n > need) std::abort();
    if (n > 0 && std::memcmp(out.data(), expected.data(), n * sizeof(QVWCHAR)) != 0) std::abort();
    if (capacity > need && (n != need || out.data()[need] != 0)) std::abort();
  }
}

void WideToNarrow(const uint8_t* data, size_t size) {
  size_t units = size / 2;
  auto text = std::make_unique<QVWCHAR[]>(units + 1);
  if (units > 0) std::memcpy(text.get(), data, units * 2);
  text[units] = 0;
  size_t need = QVUnicodeToAnsi(nullptr, text.get(), 0);
  for (size_t capacity : {size_t{1}, size_t{3}, need, need + 1}) {
    if (capacity == 0 || capacity > 4 * units + 2) continue;
    GuardedBuffer<char> out(capacity);
    size_t n = QVUnicodeToAnsi(out.data(), text.get(), capacity);
    out.Check();
    if (need == kFailed) continue;
    if (n > capacity || n > need) std::abort();
    if (capacity > need) {
      if (n != need || out.data()[need] != '\0') std::abort();
      // Back again: the same units.
      size_t length = 0;
      while (text[length] != 0) ++length;
      std::vector<QVWCHAR> round(length + 1);
      if (QVAnsiToUnicode(round.data(), out.data(), length + 1) != length) std::abort();
      if (length > 0 && std::memcmp(round.data(), text.get(), length * sizeof(QVWCHAR)) != 0) std::abort();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::setlocale(LC_ALL, "C.UTF-8");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  NarrowToWide(data, size);
  WideToNarrow(data, size);
  return 0;
}
