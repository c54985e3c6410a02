#include "text/ascii_run.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#include "base/wide.h"

using qv::WChar;
#endif

// These loops only touch bytes inside the given lengths.
namespace qv::text {

size_t AsciiRunLength(const char* s, size_t length) noexcept {
  size_t i = 0;
#if defined(__SSE2__)
  for (; length - i >= 32; i += 32) {
    __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
    __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i + 16));
    if (_mm_movemask_epi8(_mm_or_si128(a, b)) != 0) break;
  }
#endif
  for (; i < length; ++i)
    if (static_cast<unsigned char>(s[i]) > 127) return i;
  return length;
}

size_t WidenAsciiRun(WChar* d, const char* s, size_t length) noexcept {
  size_t i = 0;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  for (; length - i >= 16; i += 16) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
    if (_mm_movemask_epi8(v) != 0) break;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), _mm_unpacklo_epi8(v, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i + 8), _mm_unpackhi_epi8(v, zero));
  }
#endif
  for (; i < length; ++i) {
    auto c = static_cast<unsigned char>(s[i]);
    if (c > 127) break;
    d[i] = c;
  }
  return i;
}

size_t NarrowAsciiRun(char* d, const WChar* s, size_t length) noexcept {
  size_t i = 0;
#if defined(__SSE2__)
  const __m128i high = _mm_set1_epi16(static_cast<short>(0xFF80));
  const __m128i zero = _mm_setzero_si128();
  for (; length - i >= 16; i += 16) {
    __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
    __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i + 8));
    __m128i any = _mm_and_si128(_mm_or_si128(a, b), high);
    if (_mm_movemask_epi8(_mm_cmpeq_epi8(any, zero)) != 0xFFFF) break;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), _mm_packus_epi16(a, b));
  }
#endif
  for (; i < length && s[i] < 0x80; ++i) d[i] = static_cast<char>(s[i]);
  return i;
}

}  // namespace qv::text
