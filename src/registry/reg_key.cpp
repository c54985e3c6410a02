// The walking operations shared by both key classes, and the two classes.
#include "registry/reg_key.h"

#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>

#include "base/boundary.h"
#include "base/exception.h"
#include "os/os_path.h"
#include "qvcore5/qv_time.h"
#include "registry/registry_names.h"

namespace qv::registry {

const char16_t kIniFileName[] = u"qvregistry.ini";

namespace {

// Constant-initialised and never destroyed: a late thread may still use them.
std::atomic<IniFile*> s_pIniFile{nullptr};
std::mutex s_initLock;

template <class T>
T* Handle(uint64_t h) {
  return reinterpret_cast<T*>(static_cast<uintptr_t>(h));
}

// The name rule of the INI key: whole with terminator when it fits, else
// the first `length` units and 0x80004009; the name is taken either way.
QVRESULT CopyName(IniFileIteratorBase* it, WChar* name, uint32_t* length) {
  if (it == nullptr || !it->HasNext()) return kNoMoreItems;
  if (length == nullptr || name == nullptr) return QV_E_INVALIDARG;
  std::u16string next = it->Next();
  if (*length > next.size()) {
    std::memcpy(name, next.c_str(), (next.size() + 1) * sizeof(WChar));
    *length = static_cast<uint32_t>(next.size());
    return 0;
  }
  std::memcpy(name, next.data(), *length * sizeof(WChar));
  return kNameTooLong;
}

QVRESULT TakeWhole(IniFileIteratorBase* it, std::u16string& name) {
  if (it == nullptr || !it->HasNext()) return kNoMoreItems;
  name = it->Next();
  return 0;
}

}  // namespace

std::u16string SectionName(uint32_t root, const std::u16string& path) {
  static const char16_t* const kPrefix[] = {u"QV_HKEY_CLASSES", u"QV_HKEY_CONFIG", u"QV_HKEY_USER",
                                            u"QV_HKEY_CLASSES_64", u"QV_HKEY_CONFIG_64"};
  if (root > QV_HKEY_CONFIG_64) base::ThrowResult(QV_E_INVALIDARG);
  std::u16string name = kPrefix[root];
  if (root == QV_HKEY_USER) {
    WChar user[127];
    QVRESULT result = QVGetUserName(Api(user), 127);
    if (result < 0) base::ThrowResult(result);
    name.append(u"\\").append(user);
  }
  if (!path.empty()) name.append(u"\\").append(path);
  return name;
}

CRegKey* CreateRegKey(uint32_t kind, uint32_t root, const std::u16string& path) {
  CRegKey* key;
  if (kind == 0) {
    key = new CNativeRegKey(root, path);
  } else if (kind == 1) {
    key = new CIniRegKey(root, path);
  } else {
    base::ThrowResult(kBadKind);
  }
  key->AddReference();
  return key;
}

IniFile& GetIniStore() {
  IniFile* store = s_pIniFile.load(std::memory_order_acquire);
  if (store != nullptr) return *store;
  std::lock_guard<std::mutex> held(s_initLock);
  store = s_pIniFile.load(std::memory_order_relaxed);
  if (store == nullptr) {
    std::u16string folder;
    if (!os::CurrentDirectory(folder)) base::ThrowLastError();
    store = new IniFile(folder + u"/" + kIniFileName);
    s_pIniFile.store(store, std::memory_order_release);
  }
  return *store;
}

void SetIniStore(IniFile* store) {
  std::lock_guard<std::mutex> held(s_initLock);
  delete s_pIniFile.exchange(store, std::memory_order_acq_rel);
}

QVRESULT CRegKey::FetchNextKey(std::u16string& name) {
  WChar buffer[256];
  uint32_t length = 256;
  QVRESULT result = EnumNextKey(buffer, &length);
  if (result >= 0) name.assign(buffer, length);
  return result;
}

QVRESULT CRegKey::FetchNextValue(std::u16string& name) {
  WChar buffer[256];
  uint32_t length = 256;
  QVRESULT result = EnumNextValue(buffer, &length);
  if (result >= 0) name.assign(buffer, length);
  return result;
}

bool CRegKey::HasNextKey() {
  if (m_keyEnum == kNoEnum) {
    QVRESULT result = OpenKeyEnum();
    if (result < 0) base::ThrowResult(result);
  }
  if (!m_hasNextKey && FetchNextKey(m_nextKey) >= 0) m_hasNextKey = true;
  return m_hasNextKey;
}

CRegKey* CRegKey::NextKey() {
  if (!m_hasNextKey && !HasNextKey()) base::ThrowResult(kNoMoreItems);
  m_hasNextKey = false;
  std::u16string child = m_path.empty() ? m_nextKey : m_path + u"\\" + m_nextKey;
  return CreateKey(m_root, child);
}

bool CRegKey::HasNextValue() {
  if (m_valueEnum == kNoEnum && OpenValueEnum() < 0) return false;
  if (!m_hasNextValue && FetchNextValue(m_nextValue) >= 0) m_hasNextValue = true;
  return m_hasNextValue;
}

std::u16string CRegKey::NextValue() {
  if (!m_hasNextValue && !HasNextValue()) base::ThrowResult(kNoMoreItems);
  m_hasNextValue = false;
  return m_nextValue;
}

// Operating-system registry.

CNativeRegKey::~CNativeRegKey() {
  if (m_keyEnum != kNoEnum && m_keyEnum != kEmptyEnum) QVRegistryCloseEnum(Handle<QVRegistryEnumObject>(m_keyEnum));
  if (m_valueEnum != kNoEnum) QVRegistryCloseEnum(Handle<QVRegistryEnumObject>(m_valueEnum));
}

QVRESULT CNativeRegKey::OpenKeyEnum() {
  QVREGENUM handle = QV_INVALID_REGENUM;
  QVRESULT result = QVRegistryOpenKeyEnum(m_root, Api(m_path.c_str()), &handle);
  m_keyEnum = result < 0 ? kNoEnum : reinterpret_cast<uintptr_t>(handle);
  if (result < 0 && m_path.empty()) {
    // A root always exists on Windows; a store that never held anything below it has none yet.
    QVREGENUM probe = QV_INVALID_REGENUM;
    QVRESULT root = QVRegistryOpenValueEnum(m_root, Api(u""), &probe);
    if (root >= 0) QVRegistryCloseEnum(probe);
    if (root == QV_RESULT(0x80070002u)) {
      m_keyEnum = kEmptyEnum;
      return 0;
    }
  }
  return result;
}

QVRESULT CNativeRegKey::EnumNextKey(WChar* name, uint32_t* length) {
  if (m_keyEnum == kEmptyEnum) return QV_E_FAIL;
  return QVRegistryEnumNextKey(Handle<QVRegistryEnumObject>(m_keyEnum), Api(name), length);
}

QVRESULT CNativeRegKey::OpenValueEnum() {
  QVREGENUM handle = QV_INVALID_REGENUM;
  QVRESULT result = QVRegistryOpenValueEnum(m_root, Api(m_path.c_str()), &handle);
  m_valueEnum = result < 0 ? kNoEnum : reinterpret_cast<uintptr_t>(handle);
  return result;
}

QVRESULT CNativeRegKey::EnumNextValue(WChar* name, uint32_t* length) {
  return QVRegistryEnumNextValue(Handle<QVRegistryEnumObject>(m_valueEnum), Api(name), length, nullptr, nullptr,
                                 nullptr);
}

QVRESULT CNativeRegKey::CloseEnum(uint64_t handle) {
  if (handle == kEmptyEnum) return 0;
  return QVRegistryCloseEnum(handle == kNoEnum ? nullptr : Handle<QVRegistryEnumObject>(handle));
}

CRegKey* CNativeRegKey::CreateKey(uint32_t root, const std::u16string& path) {
  CRegKey* key = new CNativeRegKey(root, path);
  key->AddReference();
  return key;
}

QVRESULT CNativeRegKey::GetValue(const WChar* name, uint32_t* type, void* data, uint32_t* size) {
  return QVRegistryGetValue(m_root, Api(m_path.c_str()), Api(name), type, data, size);
}

QVRESULT CNativeRegKey::SetValue(uint32_t root, const std::u16string& path, const WChar* name, uint32_t type,
                                 const void* data, uint32_t size) {
  return QVRegistrySetValue(root, Api(path.c_str()), Api(name), type, data, size);
}

// Every stored name fits: the store refuses longer ones.
QVRESULT CNativeRegKey::FetchNextKey(std::u16string& name) {
  std::unique_ptr<WChar[]> buffer(new WChar[kMaxValueName + 1]);
  uint32_t length = kMaxValueName + 1;
  QVRESULT result = EnumNextKey(buffer.get(), &length);
  if (result >= 0) name.assign(buffer.get(), length);
  return result;
}

QVRESULT CNativeRegKey::FetchNextValue(std::u16string& name) {
  std::unique_ptr<WChar[]> buffer(new WChar[kMaxValueName + 1]);
  uint32_t length = kMaxValueName + 1;
  QVRESULT result = EnumNextValue(buffer.get(), &length);
  if (result >= 0) name.assign(buffer.get(), length);
  return result;
}

// INI store.

CIniRegKey::~CIniRegKey() {
  if (m_keyEnum != kNoEnum) delete Handle<IniFileIteratorBase>(m_keyEnum);
  if (m_valueEnum != kNoEnum) delete Handle<IniFileIteratorBase>(m_valueEnum);
}

// Replaces the enumeration in slot by a fresh one over the key's section.
template <class Iterator, class Slot>
QVRESULT OpenIniEnum(Slot& slot, uint32_t root, const std::u16string& path) {
  return base::Bounded([&]() -> QVRESULT {
    if (slot != kNoEnum) delete Handle<IniFileIteratorBase>(slot);
    slot = kNoEnum;
    IniFile& store = GetIniStore();
    auto* fresh = static_cast<IniFileIteratorBase*>(new Iterator(store, SectionName(root, path)));
    slot = reinterpret_cast<uintptr_t>(fresh);
    return 0;
  });
}

QVRESULT CIniRegKey::OpenKeyEnum() { return OpenIniEnum<IniFileSetIterator>(m_keyEnum, m_root, m_path); }

QVRESULT CIniRegKey::EnumNextKey(WChar* name, uint32_t* length) {
  return base::Bounded([&]() -> QVRESULT {
    GetIniStore();
    return CopyName(m_keyEnum == kNoEnum ? nullptr : Handle<IniFileIteratorBase>(m_keyEnum), name, length);
  });
}

QVRESULT CIniRegKey::OpenValueEnum() { return OpenIniEnum<IniFileKeyIterator>(m_valueEnum, m_root, m_path); }

QVRESULT CIniRegKey::EnumNextValue(WChar* name, uint32_t* length) {
  return base::Bounded([&]() -> QVRESULT {
    GetIniStore();
    return CopyName(m_valueEnum == kNoEnum ? nullptr : Handle<IniFileIteratorBase>(m_valueEnum), name, length);
  });
}

QVRESULT CIniRegKey::CloseEnum(uint64_t handle) {
  return base::Bounded([&]() -> QVRESULT {
    GetIniStore();
    if (handle != kNoEnum) delete Handle<IniFileIteratorBase>(handle);
    if (handle == m_keyEnum) m_keyEnum = kNoEnum;
    if (handle == m_valueEnum) m_valueEnum = kNoEnum;
    return 0;
  });
}

CRegKey* CIniRegKey::CreateKey(uint32_t root, const std::u16string& path) {
  CRegKey* key = new CIniRegKey(root, path);
  key->AddReference();
  return key;
}

QVRESULT CIniRegKey::GetValue(const WChar* name, uint32_t* type, void* data, uint32_t* size) {
  return base::Bounded([&]() -> QVRESULT {
    IniFile& store = GetIniStore();
    std::u16string value;
    QVRESULT result = store.GetValue(SectionName(m_root, m_path), name ? name : u"", value);
    if (result < 0) return result;
    if (size == nullptr) return QV_E_INVALIDARG;
    uint64_t needed = (uint64_t{value.size()} + 1) * sizeof(WChar);
    if (needed > 0xFFFFFFFFu) return QV_E_FAIL;
    if (data != nullptr && needed > *size) {
      *size = static_cast<uint32_t>(needed);
      return QV_E_FAIL;
    }
    if (data != nullptr) std::memcpy(data, value.c_str(), needed);
    if (type != nullptr) *type = QV_REG_STRING;
    *size = static_cast<uint32_t>(needed);
    return 0;
  });
}

QVRESULT CIniRegKey::SetValue(uint32_t root, const std::u16string& path, const WChar* name, uint32_t type,
                              const void* data, uint32_t size) {
  return base::Bounded([&]() -> QVRESULT {
    IniFile& store = GetIniStore();
    if (type != QV_REG_STRING) return kNotImplemented;
    if (data == nullptr) return QV_E_INVALIDARG;
    // Read up to the terminator, never past the given size.
    size_t units = size / sizeof(WChar);
    std::u16string text(units, u'\0');
    std::memcpy(text.data(), data, units * sizeof(WChar));
    size_t end = text.find(u'\0');
    if (end != std::u16string::npos) text.resize(end);
    return store.SetValue(SectionName(root, path), name ? name : u"", text);
  });
}

QVRESULT CIniRegKey::FetchNextKey(std::u16string& name) {
  return base::Bounded([&]() -> QVRESULT {
    return TakeWhole(m_keyEnum == kNoEnum ? nullptr : Handle<IniFileIteratorBase>(m_keyEnum), name);
  });
}

QVRESULT CIniRegKey::FetchNextValue(std::u16string& name) {
  return base::Bounded([&]() -> QVRESULT {
    return TakeWhole(m_valueEnum == kNoEnum ? nullptr : Handle<IniFileIteratorBase>(m_valueEnum), name);
  });
}

}  // namespace qv::registry
