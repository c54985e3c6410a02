// The exported registry functions: names are checked and folded here, the
// store below does each call as one transaction.
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "base/boundary.h"
#include "base/wide.h"
#include "os/os_error.h"
#include "os/os_registry_store.h"
#include "qvcore5/qv_registry.h"
#include "registry/registry_names.h"

struct QVRegistryEnumObject {
  qv::os::RegistryStoreCursor* cursor;
  uint32_t index;
};

using namespace qv;
using namespace qv::registry;

namespace {

QVRESULT LastResult() noexcept { return QVResultFromNative(os::LastError()); }

// The root and path as one key of a store; a result code when they name none.
QVRESULT Locate(uint32_t root, const QVWCHAR* keyPath, RootKey& key) {
  if (!MapRoot(root, key)) return QVResultFromNative(os::kErrorInvalidHandle);
  return AppendPath(Wide(keyPath), key.prefix) ? QV_S_OK : QV_E_INVALIDARG;
}

uint32_t TypeForGet(uint32_t platform, bool& known) {
  known = true;
  switch (platform) {
    case os::kRegTypeString:
    case os::kRegTypeExpandString: return QV_REG_STRING;
    case os::kRegTypeNumber: return QV_REG_DWORD;
    case os::kRegTypeQuadNumber: return QV_REG_QWORD;
    case os::kRegTypeBinary:
    case os::kRegTypeNone: return QV_REG_BINARY;
    case os::kRegTypeMultiString: return QV_REG_MULTI_STRING;
    default: known = false; return platform;
  }
}

bool TypeForEnum(uint32_t platform, uint32_t& type) {
  if (platform == os::kRegTypeNone || platform == os::kRegTypeQuadNumber) return false;
  bool known;
  type = TypeForGet(platform, known);
  return known;
}

// Checks data against its type; the platform type, or 0xFFFFFFFF when refused.
uint32_t StorableType(uint32_t type, const void* data, uint32_t size) {
  static const uint32_t kPlatform[] = {os::kRegTypeString, os::kRegTypeNumber, 0xFFFFFFFFu,
                                       os::kRegTypeBinary, os::kRegTypeExpandString, os::kRegTypeMultiString};
  if (type > QV_REG_MULTI_STRING || type == QV_REG_QWORD) return 0xFFFFFFFFu;
  if ((data == nullptr && size != 0) || size > kMaxData) return 0xFFFFFFFFu;
  if (type == QV_REG_DWORD && size != 4) return 0xFFFFFFFFu;
  if (type == QV_REG_STRING || type == QV_REG_EXPAND_STRING || type == QV_REG_MULTI_STRING) {
    if (size % 2 != 0) return 0xFFFFFFFFu;
    if (size != 0) {
      char16_t last;
      std::memcpy(&last, static_cast<const unsigned char*>(data) + size - 2, 2);
      if (last != 0) return 0xFFFFFFFFu;  // a reader could not find the end
    }
  }
  return kPlatform[type];
}

// The data of an expandable string as the caller receives it: expanded, terminated.
void Expand(std::vector<unsigned char>& data) {
  std::u16string text(data.size() / 2, u'\0');
  std::memcpy(text.data(), data.data(), text.size() * 2);
  size_t end = text.find(u'\0');
  if (end != std::u16string::npos) text.resize(end);
  std::u16string expanded = ExpandReferences(text);
  data.resize((expanded.size() + 1) * 2);
  std::memcpy(data.data(), expanded.c_str(), data.size());
}

// Copies data into the caller's buffer by the size rules of a value query.
QVRESULT GiveData(const std::vector<unsigned char>& data, void* buffer, uint32_t* size) {
  if (size == nullptr) return QV_S_OK;
  auto needed = static_cast<uint32_t>(data.size());
  if (buffer != nullptr) {
    if (*size < needed) {
      *size = needed;
      return QV_E_FAIL;
    }
    if (needed != 0) std::memcpy(buffer, data.data(), needed);
  }
  *size = needed;
  return QV_S_OK;
}

QVRESULT GiveName(const std::u16string& name, QVWCHAR* buffer, uint32_t* length) {
  auto needed = static_cast<uint32_t>(name.size() + 1);
  if (*length < needed) {
    *length = needed;
    return QV_E_FAIL;
  }
  std::memcpy(buffer, name.c_str(), needed * sizeof(char16_t));
  *length = needed - 1;
  return QV_S_OK;
}

bool IsHandle(QVREGENUM handle) { return handle != nullptr && handle != QV_INVALID_REGENUM; }

// Steps the enumeration by one entry, whatever the outcome.
QVRESULT Next(QVREGENUM handle, os::RegistryEntry& entry) {
  ++handle->index;
  if (os::RegistryStoreCursorStep(handle->cursor, entry)) return QV_S_OK;
  return os::LastError() == os::kErrorNoMoreItems ? QV_E_FAIL : LastResult();
}

QVRESULT OpenEnum(uint32_t root, const QVWCHAR* keyPath, QVREGENUM* handle, bool values) {
  if (handle == nullptr) return QV_E_INVALIDARG;
  *handle = QV_INVALID_REGENUM;
  return base::Bounded([&]() -> QVRESULT {
    RootKey key;
    QVRESULT located = Locate(root, keyPath, key);
    if (located < 0) return values ? located : QV_E_FAIL;
    auto record = std::make_unique<QVRegistryEnumObject>();
    record->index = 0;
    record->cursor = os::RegistryStoreCursorOpen(key.store, key.prefix, values);
    if (record->cursor == nullptr) {
      if (os::LastError() == os::kErrorOutOfMemory) return QV_E_OUTOFMEMORY;
      return values ? LastResult() : QV_E_FAIL;
    }
    *handle = record.release();
    return QV_S_OK;
  });
}

// The key and the value name an export works on.
QVRESULT LocateValue(uint32_t root, const QVWCHAR* keyPath, const QVWCHAR* valueName, RootKey& key,
                     os::RegistryName& name) {
  QVRESULT located = Locate(root, keyPath, key);
  if (located < 0) return located;
  return MakeValueName(Wide(valueName), name) ? QV_S_OK : QV_E_INVALIDARG;
}

}  // namespace

extern "C" {

QV_API QVRESULT QVRegistryGetValue(uint32_t root, const QVWCHAR* keyPath, const QVWCHAR* valueName, uint32_t* type,
                                   void* data, uint32_t* dataSize) {
  if (data != nullptr && dataSize == nullptr) return QV_E_INVALIDARG;
  return base::Bounded([&]() -> QVRESULT {
    RootKey key;
    os::RegistryName name;
    QVRESULT located = LocateValue(root, keyPath, valueName, key, name);
    if (located < 0) return located;
    os::RegistryEntry entry;
    if (!os::RegistryStoreFetch(key.store, key.prefix, name, entry)) return LastResult();
    if (entry.type == os::kRegTypeExpandString) Expand(entry.data);
    QVRESULT given = GiveData(entry.data, data, dataSize);
    if (given < 0) return given;
    bool known;
    if (type != nullptr) *type = TypeForGet(entry.type, known);
    return QV_S_OK;
  });
}

QV_API QVRESULT QVRegistrySetValue(uint32_t root, const QVWCHAR* keyPath, const QVWCHAR* valueName, uint32_t type,
                                   const void* data, uint32_t dataSize) {
  if (type > QV_REG_MULTI_STRING || type == QV_REG_QWORD) return QV_E_INVALIDARG;
  return base::Bounded([&]() -> QVRESULT {
    RootKey key;
    os::RegistryName name;
    QVRESULT located = LocateValue(root, keyPath, valueName, key, name);
    if (located < 0) return located;
    uint32_t platform = StorableType(type, data, dataSize);
    if (platform == 0xFFFFFFFFu) return QV_E_INVALIDARG;
    if (!os::RegistryStorePut(key.store, key.prefix, name, platform, data, dataSize)) return LastResult();
    return QV_S_OK;
  });
}

QV_API QVRESULT QVRegistryDeleteValue(uint32_t root, const QVWCHAR* keyPath, const QVWCHAR* valueName) {
  return base::Bounded([&]() -> QVRESULT {
    RootKey key;
    os::RegistryName name;
    QVRESULT located = LocateValue(root, keyPath, valueName, key, name);
    if (located < 0) return located;
    return os::RegistryStoreErase(key.store, key.prefix, name) ? QV_S_OK : LastResult();
  });
}

QV_API QVRESULT QVRegistryDeleteKey(uint32_t root, const QVWCHAR* keyPath) {
  return base::Bounded([&]() -> QVRESULT {
    RootKey key;
    if (!MapRoot(root, key)) return QV_E_FAIL;
    size_t top = key.prefix.size();
    if (!AppendPath(Wide(keyPath), key.prefix)) return QV_E_INVALIDARG;
    if (key.prefix.size() == top) return QV_E_INVALIDARG;  // never the root with everything in it
    if (os::RegistryStoreEraseTree(key.store, key.prefix)) return QV_S_OK;
    return os::LastError() == os::kErrorFileNotFound ? QV_E_FAIL : LastResult();
  });
}

QV_API QVRESULT QVRegistryOpenKeyEnum(uint32_t root, const QVWCHAR* keyPath, QVREGENUM* handle) {
  return OpenEnum(root, keyPath, handle, false);
}

QV_API QVRESULT QVRegistryOpenValueEnum(uint32_t root, const QVWCHAR* keyPath, QVREGENUM* handle) {
  return OpenEnum(root, keyPath, handle, true);
}

QV_API QVRESULT QVRegistryEnumNextKey(QVREGENUM handle, QVWCHAR* name, uint32_t* nameLength) {
  if (!IsHandle(handle)) return QV_E_HANDLE;
  return base::Bounded([&]() -> QVRESULT {
    os::RegistryEntry entry;
    QVRESULT stepped = Next(handle, entry);
    if (stepped < 0) return stepped;
    if (name == nullptr || nameLength == nullptr) return QV_E_INVALIDARG;
    return GiveName(entry.name, name, nameLength);
  });
}

QV_API QVRESULT QVRegistryEnumNextValue(QVREGENUM handle, QVWCHAR* name, uint32_t* nameLength, uint32_t* type,
                                        void* data, uint32_t* dataSize) {
  if (!IsHandle(handle)) return QV_E_HANDLE;
  return base::Bounded([&]() -> QVRESULT {
    os::RegistryEntry entry;
    QVRESULT stepped = Next(handle, entry);
    if (stepped < 0) return stepped;
    if (name == nullptr || nameLength == nullptr || (data != nullptr && dataSize == nullptr)) return QV_E_INVALIDARG;
    QVRESULT named = GiveName(entry.name, name, nameLength);
    QVRESULT given = GiveData(entry.data, named < 0 ? nullptr : data, dataSize);
    if (named < 0) return named;
    if (given < 0) return given;
    uint32_t mapped;
    if (type != nullptr && TypeForEnum(entry.type, mapped)) *type = mapped;
    return QV_S_OK;
  });
}

QV_API QVRESULT QVRegistryCloseEnum(QVREGENUM handle) {
  if (!IsHandle(handle)) return QV_S_OK;
  os::RegistryStoreCursorClose(handle->cursor);
  delete handle;
  return QV_S_OK;
}

}  // extern "C"
