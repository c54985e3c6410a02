// Case-insensitive comparison of narrow strings with the ASCII fast path:
// while both strings stay ASCII, bytes are folded to upper case here; from the
// first byte above 127 on, the locale's comparison decides. The scan runs on
// whole vector blocks (see block_reads.h); this is one of the hottest calls
// of the library, so the short-string path is kept to a few instructions.
#include <algorithm>
#include <cctype>
#include <cstdint>

#include "qvcore5/qv_string.h"
#include "text/block_reads.h"
#include "text/narrow_icompare.h"

namespace {

using qv::text::kPageSize;
using qv::text::PageRoom;

// _strnicmp of the Windows runtime: both bytes lowered in the current locale.
[[gnu::noinline, gnu::cold]] int LocaleICompare(const char* a, const char* b, size_t count) noexcept {
  for (size_t i = 0; i < count; ++i) {
    int fa = std::tolower(static_cast<unsigned char>(a[i]));
    int fb = std::tolower(static_cast<unsigned char>(b[i]));
    if (fa != fb) return fa - fb;
    if (a[i] == '\0') return 0;
  }
  return 0;
}

// The scan goes on while a has not ended, both bytes are ASCII and they are
// equal up to the case of a letter; any other pair stops it.
inline bool StopsScan(unsigned char a, unsigned char b) noexcept {
  if (a == 0 || ((a | b) & 0x80) != 0) return true;
  unsigned x = a ^ b;
  unsigned lower = a | 0x20u;
  return x != 0 && !(x == 0x20 && lower >= 'a' && lower <= 'z');
}

constexpr struct UpperTable {
  unsigned char map[128];
  constexpr UpperTable() : map() {
    for (int c = 0; c < 128; ++c) map[c] = static_cast<unsigned char>((c >= 'a' && c <= 'z') ? c - 32 : c);
  }
} kUpper;

// The result at the pair that stopped the scan.
[[gnu::always_inline]] inline int DecideAt(const char* a, const char* b, size_t count) noexcept {
  auto ca = static_cast<unsigned char>(*a), cb = static_cast<unsigned char>(*b);
  if (((ca | cb) & 0x80) != 0) return LocaleICompare(a, b, count);
  return kUpper.map[ca] - kUpper.map[cb];  // 0 only when both strings ended here
}

[[gnu::always_inline]] inline int Decide(const char* a, const char* b, size_t max, size_t at) noexcept {
  return DecideAt(a + at, b + at, max - at);
}

// Both strings have `bytes` readable bytes from their starts without a page
// boundary: one test on the two offsets together.
template <size_t Bytes>
inline bool BothFit(const char* a, const char* b) noexcept {
  return ((reinterpret_cast<uintptr_t>(a) | reinterpret_cast<uintptr_t>(b)) & (kPageSize - 1)) <= kPageSize - Bytes;
}

// The scan from index i on: whole blocks while both strings have that many
// bytes left in their pages (and below max), single bytes up to the nearer
// page end otherwise. Mask(a, b) has a bit for each stopping byte of a block.
template <size_t Block, class Mask>
[[gnu::always_inline]] inline int ScanFrom(const char* a, const char* b, size_t max, size_t i, Mask stopMask) noexcept {
  for (;;) {
    size_t room = std::min(std::min(PageRoom(a + i), PageRoom(b + i)), max - i);
    for (; room >= 4 * Block; room -= 4 * Block, i += 4 * Block) {
      uint32_t m0 = stopMask(a + i, b + i);
      uint32_t m1 = stopMask(a + i + Block, b + i + Block);
      uint32_t m2 = stopMask(a + i + 2 * Block, b + i + 2 * Block);
      uint32_t m3 = stopMask(a + i + 3 * Block, b + i + 3 * Block);
      if ((m0 | m1 | m2 | m3) != 0) {
        if (m0 != 0) return Decide(a, b, max, i + __builtin_ctz(m0));
        if (m1 != 0) return Decide(a, b, max, i + Block + __builtin_ctz(m1));
        if (m2 != 0) return Decide(a, b, max, i + 2 * Block + __builtin_ctz(m2));
        return Decide(a, b, max, i + 3 * Block + __builtin_ctz(m3));
      }
    }
    for (; room >= Block; room -= Block, i += Block)
      if (uint32_t m = stopMask(a + i, b + i)) return Decide(a, b, max, i + __builtin_ctz(m));
    for (size_t end = i + room; i < end; ++i)
      if (StopsScan(static_cast<unsigned char>(a[i]), static_cast<unsigned char>(b[i]))) return Decide(a, b, max, i);
    if (i == max) return 0;
  }
}

// Most strings stop within the first four blocks: one page test for both,
// then the blocks one by one; only longer strings enter the general scan,
// out of line, so this path needs no stack frame.
template <size_t Block, class Mask, class Rest>
[[gnu::always_inline]] inline int Start(const char* a, const char* b, size_t max, Mask stopMask, Rest rest) noexcept {
  if (max < 4 * Block || !BothFit<4 * Block>(a, b)) return rest(a, b, max, 0);
  for (size_t i = 0; i < 4 * Block; i += Block) {
    if (uint32_t m = stopMask(a + i, b + i)) {
      size_t at = i + __builtin_ctz(m);
      return DecideAt(a + at, b + at, max - at);
    }
  }
  return rest(a, b, max, 4 * Block);
}

#if defined(QV_TEXT_SSE2)
// Vector form of StopsScan. A letter of either case in a becomes -128..-103
// after (a | 0x20) + 31, and no other byte value does; the bytes then agree
// where a ^ b, without the case bit of a letter, is 0, and the scan goes on
// where they agree and a is 1..127 (a positive signed byte).
using qv::text::kCaseScanConstants;

[[gnu::always_inline]] QV_BLOCK_READS inline uint32_t StopMask16(const char* a, const char* b) noexcept {
  auto constant = [](int k) { return _mm_load_si128(reinterpret_cast<const __m128i*>(kCaseScanConstants[k])); };
  const __m128i caseBit = constant(0);
  __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a));
  __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b));
  __m128i shifted = _mm_add_epi8(_mm_or_si128(va, caseBit), constant(1));
  __m128i letterBit = _mm_and_si128(_mm_cmpgt_epi8(constant(2), shifted), caseBit);
  __m128i same = _mm_cmpeq_epi8(_mm_andnot_si128(letterBit, _mm_xor_si128(va, vb)), _mm_setzero_si128());
  __m128i goOn = _mm_cmpgt_epi8(_mm_min_epu8(same, va), _mm_setzero_si128());
  return ~static_cast<uint32_t>(_mm_movemask_epi8(goOn)) & 0xFFFFu;
}

[[gnu::noinline]] QV_BLOCK_READS int ScanSse2(const char* a, const char* b, size_t max, size_t i) noexcept {
  return ScanFrom<16>(a, b, max, i, StopMask16);
}

QV_BLOCK_READS int ICompareSse2(const char* a, const char* b, size_t max) noexcept {
  return Start<16>(a, b, max, StopMask16, ScanSse2);
}
#endif

#if defined(QV_TEXT_SSE2) && (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))
#define QV_TEXT_AVX2 1
#include <immintrin.h>

[[gnu::target("avx2"), gnu::always_inline]] inline __m256i Constant32(int k) noexcept {
  return _mm256_load_si256(reinterpret_cast<const __m256i*>(kCaseScanConstants[k]));
}

[[gnu::target("avx2"), gnu::always_inline]] QV_BLOCK_READS inline uint32_t StopMask32(const char* a, const char* b) noexcept {
  auto constant = Constant32;
  const __m256i caseBit = constant(0);
  __m256i va = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(a));
  __m256i vb = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b));
  __m256i shifted = _mm256_add_epi8(_mm256_or_si256(va, caseBit), constant(1));
  __m256i letterBit = _mm256_and_si256(_mm256_cmpgt_epi8(constant(2), shifted), caseBit);
  __m256i same = _mm256_cmpeq_epi8(_mm256_andnot_si256(letterBit, _mm256_xor_si256(va, vb)), _mm256_setzero_si256());
  __m256i goOn = _mm256_cmpgt_epi8(_mm256_min_epu8(same, va), _mm256_setzero_si256());
  return ~static_cast<uint32_t>(_mm256_movemask_epi8(goOn));
}

[[gnu::target("avx2"), gnu::noinline]] QV_BLOCK_READS int ScanAvx2(const char* a, const char* b, size_t max,
                                                                    size_t i) noexcept {
  return ScanFrom<32>(a, b, max, i, StopMask32);
}

[[gnu::target("avx2")]] QV_BLOCK_READS int ICompareAvx2(const char* a, const char* b, size_t max) noexcept {
  return Start<32>(a, b, max, StopMask32, ScanAvx2);
}
#endif

// The portable form, one byte at a time.
int ICompareBytes(const char* a, const char* b, size_t max) noexcept {
  for (size_t i = 0; i < max; ++i)
    if (StopsScan(static_cast<unsigned char>(a[i]), static_cast<unsigned char>(b[i])))
      return DecideAt(a + i, b + i, max - i);
  return 0;
}

using ICompareFunction = int (*)(const char*, const char*, size_t) noexcept;

ICompareFunction VariantFunction(qv::text::ICompareVariant variant) noexcept {
  switch (variant) {
    case qv::text::ICompareVariant::kBytes:
      return ICompareBytes;
#if defined(QV_TEXT_SSE2)
    case qv::text::ICompareVariant::kSse2:
      return ICompareSse2;
#endif
#if defined(QV_TEXT_AVX2)
    case qv::text::ICompareVariant::kAvx2:
      __builtin_cpu_init();
      return __builtin_cpu_supports("avx2") ? ICompareAvx2 : nullptr;
#endif
    default:
      return nullptr;
  }
}

// The variant for this processor, chosen once when the library is loaded; the
// baseline one until then.
#if defined(QV_TEXT_SSE2)
ICompareFunction s_narrowICompare = ICompareSse2;
#else
ICompareFunction s_narrowICompare = ICompareBytes;
#endif

[[maybe_unused]] const bool s_variantChosen = [] {
  if (ICompareFunction best = VariantFunction(qv::text::ICompareVariant::kAvx2)) s_narrowICompare = best;
  return true;
}();

}  // namespace

namespace qv::text {

bool UseICompareVariant(ICompareVariant variant) noexcept {
  ICompareFunction f = VariantFunction(variant);
  if (f == nullptr) return false;
  s_narrowICompare = f;
  return true;
}

}  // namespace qv::text

extern "C" {

QV_API int32_t QVStrICmpA(const char* first, const char* second) { return s_narrowICompare(first, second, SIZE_MAX); }

QV_API int32_t QVStrNICmpA(const char* first, const char* second, uint32_t count) {
  return s_narrowICompare(first, second, count);
}

}  // extern "C"
