// Atomics (sequentially consistent read-modify-writes: full barriers on both
// sides), byte swapping and unaligned access.
#include <cstring>

#include "qvcore5/qv_memory.h"

extern "C" {

QV_API int32_t QVAtomicIncrement(int32_t* value) { return __atomic_add_fetch(value, 1, __ATOMIC_SEQ_CST); }
QV_API int32_t QVAtomicDecrement(int32_t* value) { return __atomic_sub_fetch(value, 1, __ATOMIC_SEQ_CST); }
QV_API int32_t QVAtomicAdd32(int32_t* value, int32_t addend) {
  return __atomic_add_fetch(value, addend, __ATOMIC_SEQ_CST);
}
QV_API size_t QVAtomicAddSZ(size_t* value, size_t addend) { return __atomic_add_fetch(value, addend, __ATOMIC_SEQ_CST); }
QV_API int32_t QVAtomicExchange(int32_t* value, int32_t newValue) {
  return __atomic_exchange_n(value, newValue, __ATOMIC_SEQ_CST);
}
QV_API int32_t QVAtomicCompareExchange(int32_t* value, int32_t newValue, int32_t comparand) {
  __atomic_compare_exchange_n(value, &comparand, newValue, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
  return comparand;  // holds the value found, whether or not it was replaced
}

QV_API uint16_t QVSwapInt16(uint16_t value) { return __builtin_bswap16(value); }
QV_API uint32_t QVSwapInt32(uint32_t value) { return __builtin_bswap32(value); }
QV_API uint64_t QVSwapInt64(uint64_t value) { return __builtin_bswap64(value); }

QV_API uint32_t QVGetUnalignedInt16(const void* address) {
  uint16_t v;
  std::memcpy(&v, address, sizeof v);
  return v;
}
QV_API uint32_t QVGetUnalignedInt32(const void* address) {
  uint32_t v;
  std::memcpy(&v, address, sizeof v);
  return v;
}
QV_API uint64_t QVGetUnalignedInt64(const void* address) {
  uint64_t v;
  std::memcpy(&v, address, sizeof v);
  return v;
}
QV_API void QVPutUnalignedInt16(void* address, uint16_t value) { std::memcpy(address, &value, sizeof value); }
QV_API void QVPutUnalignedInt32(void* address, uint32_t value) { std::memcpy(address, &value, sizeof value); }
QV_API void QVPutUnalignedInt64(void* address, uint64_t value) { std::memcpy(address, &value, sizeof value); }

}  // extern "C"

#include "os/os_thread.h"

extern "C" {

QV_API void QVSleep(uint32_t milliseconds) { qv::os::SleepMs(milliseconds); }
QV_API void QVDebugBreak(void) { qv::os::BreakIntoDebugger(); }

}  // extern "C"
