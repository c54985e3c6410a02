// UTF-8 <-> UTF-16: the library's results against ICU called directly, the
// capacity contract, guard units around every destination, and code point
// stepping against counting. Sources sit in heap blocks of their exact size.
#include <unicode/ustring.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "fuzz_guard.h"
#include "qvcore5/qvcore.h"

namespace {

void FromUtf8(const uint8_t* data, size_t size) {
  auto text = std::make_unique<char[]>(size + 1);
  if (size > 0) std::memcpy(text.get(), data, size);
  text[size] = '\0';
  UErrorCode status = U_ZERO_ERROR;
  int32_t need = 0;
  u_strFromUTF8(nullptr, 0, &need, text.get(), -1, &status);
  bool valid = status == U_BUFFER_OVERFLOW_ERROR || U_SUCCESS(status);
  int32_t measured = QVUTF8ToUTF16(nullptr, text.get(), 0);
  if (measured != (valid ? need : 0)) std::abort();
  for (int32_t capacity : {0, 1, 3, need - 1, need, need + 1}) {
    if (capacity < 0) continue;
    GuardedBuffer<QVWCHAR> out(capacity);
    int32_t n = QVUTF8ToUTF16(capacity ? out.data() : nullptr, text.get(), capacity);
    out.Check();
    if (n != (valid ? need : capacity)) std::abort();
  }
  // Counted form on a source without a terminator: never read past it.
  auto exact = std::make_unique<char[]>(size ? size : 1);
  if (size > 0) std::memcpy(exact.get(), data, size);
  GuardedBuffer<QVWCHAR> out(2 * size + 2);
  int32_t length = -1;
  QVWCHAR* r = QVUTF8ToUTF16N(out.data(), static_cast<int32_t>(2 * size + 2), &length, exact.get(),
                              static_cast<int32_t>(size));
  out.Check();
  if (r != nullptr) {
    // Round trip back to the same bytes.
    GuardedBuffer<char> back(size + 1);
    int32_t backLength = -1;
    if (QVUTF16ToUTF8N(back.data(), static_cast<int32_t>(size + 1), &backLength, out.data(), length) == nullptr)
      std::abort();
    back.Check();
    if (backLength != static_cast<int32_t>(size) || (size > 0 && std::memcmp(back.data(), data, size) != 0))
      std::abort();
  }
}

void FromUtf16(const uint8_t* data, size_t size) {
  size_t units = size / 2;
  auto text = std::make_unique<QVWCHAR[]>(units + 1);
  if (units > 0) std::memcpy(text.get(), data, units * 2);
  text[units] = 0;
  size_t length = 0;
  while (text[length] != 0) ++length;
  UErrorCode status = U_ZERO_ERROR;
  int32_t need = 0;
  u_strToUTF8(nullptr, 0, &need, text.get(), -1, &status);
  bool valid = status == U_BUFFER_OVERFLOW_ERROR || U_SUCCESS(status);
  for (int32_t capacity : {0, 2, need - 1, need, need + 1}) {
    if (capacity < 0) continue;
    GuardedBuffer<char> out(capacity);
    int32_t n = QVUTF16ToUTF8(capacity ? out.data() : nullptr, text.get(), capacity);
    out.Check();
    if (n != (valid ? need : capacity)) std::abort();
  }
  // Stepping through code points with exact counts matches counting them.
  const QVWCHAR* p = text.get();
  const QVWCHAR* end = text.get() + length;
  int32_t steps = 0;
  while (p < end) {
    const QVWCHAR* before = p;
    QVNextCharUTF16(&p, static_cast<int32_t>(end - p));
    if (p <= before || p > end) std::abort();
    ++steps;
  }
  if (steps != QVCountCharUTF16(text.get())) std::abort();
  const QVWCHAR* q = text.get();
  if (QVNextCharUTF16(&q, 0) != 0 || q != text.get()) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FromUtf8(data, size);
  FromUtf16(data, size);
  return 0;
}
