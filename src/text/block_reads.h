// Support for the vector string loops. They read whole 16- or 32-byte blocks:
// a block never crosses a page boundary (aligned blocks by construction,
// unaligned ones only within the bytes PageRoom allows), so it cannot fault,
// but its bytes beyond a terminator lie outside the string. The address
// sanitizer must not instrument these loads; results never depend on those
// bytes.
#pragma once
#include <cstddef>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#define QV_TEXT_SSE2 1
#endif

#if defined(QV_TEXT_SSE2) && (defined(__GNUC__) || defined(__clang__))
#define QV_BLOCK_READS __attribute__((no_sanitize_address))
#else
#define QV_BLOCK_READS
#endif

namespace qv::text {

// The smallest page size of the targets; larger pages are multiples of it.
constexpr size_t kPageSize = 4096;

// Bytes from p to the end of its page: a load of that many bytes is safe.
inline size_t PageRoom(const void* p) noexcept {
  return kPageSize - (reinterpret_cast<uintptr_t>(p) & (kPageSize - 1));
}

// Splatted constants of the case-insensitive scan (0x20, 31, -102). They live
// in another file so that the compiler loads them as they are instead of
// rebuilding them from immediates on every call.
alignas(32) extern const signed char kCaseScanConstants[3][32];

}  // namespace qv::text
