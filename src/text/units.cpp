#include "text/units.h"

#include "text/block_reads.h"
#include "base/wide.h"

using qv::WChar;

namespace qv::text {

alignas(32) const signed char kCaseScanConstants[3][32] = {
    {0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20,
     0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20},
    {31, 31, 31, 31, 31, 31, 31, 31, 31, 31, 31, 31, 31, 31, 31, 31,
     31, 31, 31, 31, 31, 31, 31, 31, 31, 31, 31, 31, 31, 31, 31, 31},
    {-102, -102, -102, -102, -102, -102, -102, -102, -102, -102, -102, -102, -102, -102, -102, -102,
     -102, -102, -102, -102, -102, -102, -102, -102, -102, -102, -102, -102, -102, -102, -102, -102}};

namespace {

#if defined(QV_TEXT_SSE2)
inline bool BlockFitsInPage(const void* p) noexcept { return PageRoom(p) >= 16; }

inline const __m128i* AlignedBlock(const void* p) noexcept {
  return reinterpret_cast<const __m128i*>(reinterpret_cast<uintptr_t>(p) & ~uintptr_t{15});
}

inline unsigned ByteOffset(const void* p) noexcept { return reinterpret_cast<uintptr_t>(p) & 15; }

inline size_t UnitsBetween(const void* from, const void* to) noexcept {
  return (reinterpret_cast<uintptr_t>(to) - reinterpret_cast<uintptr_t>(from)) / 2;
}

// Aligned blocks only work when units sit on even addresses.
inline bool UnitAligned(const WChar* s) noexcept { return (reinterpret_cast<uintptr_t>(s) & 1) == 0; }
#endif

}  // namespace

QV_BLOCK_READS size_t UnitLength(const WChar* s) noexcept {
#if defined(QV_TEXT_SSE2)
  if (UnitAligned(s)) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i* block = AlignedBlock(s);
    unsigned mask = _mm_movemask_epi8(_mm_cmpeq_epi16(_mm_load_si128(block), zero)) & (0xFFFFu << ByteOffset(s));
    while (mask == 0) {
      ++block;
      __m128i a = _mm_load_si128(block);
      mask = _mm_movemask_epi8(_mm_cmpeq_epi16(a, zero));
      if (mask != 0) break;
      ++block;
      a = _mm_load_si128(block);
      mask = _mm_movemask_epi8(_mm_cmpeq_epi16(a, zero));
    }
    return UnitsBetween(s, reinterpret_cast<const char*>(block) + __builtin_ctz(mask));
  }
#endif
  size_t n = 0;
  while (s[n] != 0) ++n;
  return n;
}

size_t UnitLengthMax(const WChar* s, size_t max) noexcept {
  size_t n = 0;
  while (n < max && s[n] != 0) ++n;
  return n;
}

QV_BLOCK_READS const WChar* UnitFind(const WChar* s, WChar c) noexcept {
#if defined(QV_TEXT_SSE2)
  if (UnitAligned(s)) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i needle = _mm_set1_epi16(static_cast<short>(c));
    const __m128i* block = AlignedBlock(s);
    __m128i v = _mm_load_si128(block);
    unsigned mask = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi16(v, zero), _mm_cmpeq_epi16(v, needle))) &
                    (0xFFFFu << ByteOffset(s));
    while (mask == 0) {
      v = _mm_load_si128(++block);
      mask = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi16(v, zero), _mm_cmpeq_epi16(v, needle)));
    }
    const WChar* hit = s + UnitsBetween(s, reinterpret_cast<const char*>(block) + __builtin_ctz(mask));
    return *hit == c ? hit : nullptr;
  }
#endif
  for (;; ++s) {
    if (*s == c) return s;
    if (*s == 0) return nullptr;
  }
}

QV_BLOCK_READS size_t UnitMismatch(const WChar* a, const WChar* b) noexcept {
  size_t i = 0;
#if defined(QV_TEXT_SSE2)
  const __m128i zero = _mm_setzero_si128();
  for (;;) {
    if (!BlockFitsInPage(a + i) || !BlockFitsInPage(b + i)) {
      if (a[i] != b[i] || a[i] == 0) return i;
      ++i;
      continue;
    }
    __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i));
    __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i));
    unsigned stop = (~_mm_movemask_epi8(_mm_cmpeq_epi16(va, vb)) & 0xFFFFu) |
                    static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(va, zero)));
    if (stop != 0) return i + __builtin_ctz(stop) / 2;
    i += 8;
  }
#else
  while (a[i] == b[i] && a[i] != 0) ++i;
  return i;
#endif
}

}  // namespace qv::text
