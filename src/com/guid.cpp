// GUID text, ordering and generation; the allocator and base-interface forwarders.
#include <cstring>

#include "base/installed.h"
#include "base/wide.h"
#include "com/component_allocator.h"
#include "os/os_component.h"
#include "qvcore5/qv_com.h"

namespace qv::com {

void* CQVComponentAllocator::Allocate(size_t size) noexcept { return os::ComponentMemoryTake(size); }

void* CQVComponentAllocator::Resize(void* block, size_t size) noexcept {
  return os::ComponentMemoryResize(block, size);
}

void CQVComponentAllocator::Free(void* block) noexcept { os::ComponentMemoryGive(block); }

namespace {

int HexValue(WChar c) noexcept {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  return -1;
}

// Each byte's two upper-case digits.
struct DigitPairs {
  WChar pairs[256][2];
  constexpr DigitPairs() : pairs() {
    constexpr char kHex[] = "0123456789ABCDEF";
    for (int b = 0; b < 256; ++b) {
      pairs[b][0] = static_cast<WChar>(kHex[b >> 4]);
      pairs[b][1] = static_cast<WChar>(kHex[b & 0xF]);
    }
  }
};
constexpr DigitPairs kDigitPairs;

// The memory bytes in the order that decides.
constexpr int kCompareOrder[16] = {10, 11, 12, 13, 14, 15, 8, 9, 6, 7, 4, 5, 0, 1, 2, 3};

}  // namespace

}  // namespace qv::com

using qv::WChar;
using qv::com::CQVComponentAllocator;

extern "C" QV_API QVRESULT QVComGenerateGUID(QVGUID* guid) {
  if (guid == nullptr) return QV_E_INVALIDARG;
  QVGUID made;
  static_assert(sizeof made == 16, "a GUID is 16 bytes");
  if (!qv::os::IdentifierMake(&made)) return QV_E_FAIL;
  *guid = made;
  return QV_S_OK;
}

extern "C" QV_API QVRESULT QVComGUIDFromString(const QVWCHAR* text, QVGUID* guid) {
  if (text == nullptr || guid == nullptr) return QV_E_INVALIDARG;
  const WChar* p = qv::Wide(text);
  // Only as far as needed: the units after the pattern are never read.
  size_t length = 0;
  while (length < 38 && p[length] != 0) ++length;
  if (length < 36) return QV_E_INVALIDARG;
  if (p[0] == u'{') {
    if (length < 38 || p[37] != u'}') return QV_E_INVALIDARG;
    ++p;
  }
  static constexpr char kPattern[] = "xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx";
  uint16_t values[8] = {};
  int digits = 0;
  for (int i = 0; i < 36; ++i) {
    if (kPattern[i] == '-') {
      if (p[i] != u'-') return QV_E_INVALIDARG;
      continue;
    }
    int v = qv::com::HexValue(p[i]);
    if (v < 0) return QV_E_INVALIDARG;
    values[digits / 4] = static_cast<uint16_t>((values[digits / 4] << 4) | v);
    ++digits;
  }
  guid->data1 = (uint32_t{values[0]} << 16) | values[1];
  guid->data2 = values[2];
  guid->data3 = values[3];
  for (int i = 0; i < 4; ++i) {
    guid->data4[2 * i] = static_cast<uint8_t>(values[4 + i] >> 8);
    guid->data4[2 * i + 1] = static_cast<uint8_t>(values[4 + i]);
  }
  return QV_S_OK;
}

extern "C" QV_API QVRESULT QVComStringFromGUID(const QVGUID* guid, QVWCHAR* buffer, int32_t capacity) {
  if (guid == nullptr) return QV_E_INVALIDARG;
  if (buffer == nullptr || capacity == 0) return QV_S_OK;
  // Bytes in text order, then where each byte's two digits go.
  uint8_t bytes[16] = {uint8_t(guid->data1 >> 24), uint8_t(guid->data1 >> 16), uint8_t(guid->data1 >> 8),
                       uint8_t(guid->data1),       uint8_t(guid->data2 >> 8),  uint8_t(guid->data2),
                       uint8_t(guid->data3 >> 8),  uint8_t(guid->data3)};
  std::memcpy(bytes + 8, guid->data4, 8);
  static constexpr uint8_t kAt[16] = {1, 3, 5, 7, 10, 12, 15, 17, 20, 22, 25, 27, 29, 31, 33, 35};
  size_t count = capacity < 0 || capacity > 39 ? 39 : static_cast<size_t>(capacity);
  // The whole text goes straight into a buffer that holds it.
  WChar local[39];
  WChar* text = count == 39 ? qv::Wide(buffer) : local;
  text[0] = u'{';
  text[9] = text[14] = text[19] = text[24] = u'-';
  text[37] = u'}';
  text[38] = 0;
  for (int i = 0; i < 16; ++i) std::memcpy(text + kAt[i], qv::com::kDigitPairs.pairs[bytes[i]], 2 * sizeof(WChar));
  if (text == local) std::memcpy(qv::Wide(buffer), local, count * sizeof(WChar));
  return QV_S_OK;
}

extern "C" QV_API int32_t QVComIsEqualGUID(const QVGUID* a, const QVGUID* b) {
  if (a == nullptr || b == nullptr) return a == b ? 1 : 0;
  return QVComCompareGUID(a, b) == 0 ? 1 : 0;
}

extern "C" QV_API int32_t QVComCompareGUID(const QVGUID* a, const QVGUID* b) {
  if (a == nullptr || b == nullptr) return a == b ? 0 : (a == nullptr ? -1 : 1);
  auto* x = reinterpret_cast<const unsigned char*>(a);
  auto* y = reinterpret_cast<const unsigned char*>(b);
  for (int i : qv::com::kCompareOrder) {
    if (x[i] != y[i]) return x[i] > y[i] ? 1 : -1;
  }
  return 0;
}

extern "C" QV_API QVRESULT QVComMalloc(size_t size, void** block) {
  if (block == nullptr) return QV_E_INVALIDARG;
  *block = nullptr;
  CQVComponentAllocator* allocator = qv::base::Installed<CQVComponentAllocator>::Get();
  if (allocator == nullptr) return QV_E_FAIL;  // library not started
  *block = allocator->Allocate(size);
  return *block != nullptr ? QV_S_OK : QV_E_OUTOFMEMORY;
}

extern "C" QV_API QVRESULT QVComRealloc(void** block, size_t size) {
  if (block == nullptr) return QV_E_INVALIDARG;
  CQVComponentAllocator* allocator = qv::base::Installed<CQVComponentAllocator>::Get();
  if (allocator == nullptr) return QV_E_FAIL;
  void* resized = allocator->Resize(*block, size);
  if (resized == nullptr && size != 0) return QV_E_OUTOFMEMORY;
  *block = resized;
  return QV_S_OK;
}

extern "C" QV_API QVRESULT QVComFree(void* block) {
  // The heap is the process's own, so a block outlives the library's end.
  if (CQVComponentAllocator* allocator = qv::base::Installed<CQVComponentAllocator>::Get()) allocator->Free(block);
  else qv::os::ComponentMemoryGive(block);
  return QV_S_OK;
}

extern "C" QV_API QVRESULT IQVUnknown_QueryInterface(IQVUnknown* object, const QVGUID* iid, void** out) {
  return object->lpVtbl->QueryInterface(object, iid, out);
}
extern "C" QV_API uint32_t IQVUnknown_AddRef(IQVUnknown* object) { return object->lpVtbl->AddRef(object); }
extern "C" QV_API uint32_t IQVUnknown_Release(IQVUnknown* object) { return object->lpVtbl->Release(object); }
