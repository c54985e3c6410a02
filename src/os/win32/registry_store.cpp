// The registry store on the real registry. The machine store is
// HKEY_LOCAL_MACHINE, except that its Software\Classes branch is reached
// through HKEY_CLASSES_ROOT (the merged view that also sees the user's own
// registrations); the user store is HKEY_CURRENT_USER. The registry compares
// names without regard to case and keeps their spelling itself, and lists
// subkeys by name and values in the order they were made.
#include <windows.h>

#include <new>
#include <string>
#include <vector>

#include "os/os_error.h"
#include "os/os_registry_store.h"

namespace qv::os {

namespace {

bool Fail(LSTATUS status) {
  StoreLastError(static_cast<uint32_t>(status));
  return false;
}

// The predefined key and the path below it, spelled as given: the registry
// compares names by its own rules, which a fold of another table could miss.
HKEY RootAndPath(RegistryStoreKind kind, const RegistryKeyPath& key, std::wstring& path) {
  HKEY root = kind == RegistryStoreKind::kUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
  size_t first = 0;
  if (kind == RegistryStoreKind::kMachine && key.size() >= 2 && key[0].folded == u"software" &&
      key[1].folded == u"classes") {
    root = HKEY_CLASSES_ROOT;
    first = 2;
  }
  path.clear();
  for (size_t i = first; i < key.size(); ++i) {
    if (i != first) path += L'\\';
    path.append(reinterpret_cast<const wchar_t*>(key[i].spelled.data()), key[i].spelled.size());
  }
  return root;
}

const wchar_t* WideName(const std::u16string& name) { return reinterpret_cast<const wchar_t*>(name.c_str()); }

// Opens the key; false with the registry's error (2 when it is missing).
bool OpenKey(RegistryStoreKind kind, const RegistryKeyPath& key, REGSAM access, HKEY* opened) {
  std::wstring path;
  HKEY root = RootAndPath(kind, key, path);
  LSTATUS status = ::RegOpenKeyExW(root, path.c_str(), 0, access, opened);
  return status == ERROR_SUCCESS || Fail(status);
}

struct KeyCloser {
  HKEY key;
  ~KeyCloser() { ::RegCloseKey(key); }
};

}  // namespace

bool RegistryStoreFetch(RegistryStoreKind kind, const RegistryKeyPath& key, const RegistryName& value,
                        RegistryEntry& out) {
  HKEY opened;
  if (!OpenKey(kind, key, KEY_QUERY_VALUE, &opened)) return false;
  KeyCloser closer{opened};
  out.data.resize(256);
  for (;;) {
    DWORD type = 0;
    DWORD size = static_cast<DWORD>(out.data.size());
    LSTATUS status = ::RegQueryValueExW(opened, WideName(value.spelled), nullptr, &type, out.data.data(), &size);
    if (status == ERROR_MORE_DATA) {
      out.data.resize(size);  // grown meanwhile: ask again
      continue;
    }
    if (status != ERROR_SUCCESS) return Fail(status);
    out.data.resize(size);
    out.type = type;
    return true;
  }
}

bool RegistryStorePut(RegistryStoreKind kind, const RegistryKeyPath& key, const RegistryName& value, uint32_t type,
                      const void* data, uint32_t size) {
  std::wstring path;
  HKEY root = RootAndPath(kind, key, path);
  HKEY opened;
  LSTATUS status = ::RegCreateKeyExW(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr,
                                     &opened, nullptr);
  if (status != ERROR_SUCCESS) return Fail(status);
  KeyCloser closer{opened};
  static const BYTE kNothing = 0;
  status = ::RegSetValueExW(opened, WideName(value.spelled), 0, type,
                            size != 0 ? static_cast<const BYTE*>(data) : &kNothing, size);
  return status == ERROR_SUCCESS || Fail(status);
}

bool RegistryStoreErase(RegistryStoreKind kind, const RegistryKeyPath& key, const RegistryName& value) {
  HKEY opened;
  if (!OpenKey(kind, key, KEY_SET_VALUE, &opened)) return false;
  KeyCloser closer{opened};
  LSTATUS status = ::RegDeleteValueW(opened, WideName(value.spelled));
  return status == ERROR_SUCCESS || Fail(status);
}

bool RegistryStoreEraseTree(RegistryStoreKind kind, const RegistryKeyPath& key) {
  std::wstring path;
  HKEY root = RootAndPath(kind, key, path);
  if (key.empty() || path.empty()) return Fail(ERROR_ACCESS_DENIED);  // never a store's top
  LSTATUS status = ::RegDeleteTreeW(root, path.c_str());
  return status == ERROR_SUCCESS || Fail(status);
}

bool RegistryStoreProbe(RegistryStoreKind kind, const RegistryKeyPath& key) {
  HKEY opened;
  if (!OpenKey(kind, key, KEY_QUERY_VALUE, &opened)) return false;
  ::RegCloseKey(opened);
  return true;
}

class RegistryStoreCursor {
 public:
  HKEY key = nullptr;
  bool values = false;
  DWORD index = 0;
};

RegistryStoreCursor* RegistryStoreCursorOpen(RegistryStoreKind kind, const RegistryKeyPath& key, bool values) {
  HKEY opened;
  if (!OpenKey(kind, key, KEY_READ, &opened)) return nullptr;
  auto* cursor = new (std::nothrow) RegistryStoreCursor;
  if (cursor == nullptr) {
    ::RegCloseKey(opened);
    throw std::bad_alloc();
  }
  cursor->key = opened;
  cursor->values = values;
  return cursor;
}

bool RegistryStoreCursorStep(RegistryStoreCursor* cursor, RegistryEntry& out) {
  wchar_t name[16384];  // the longest value name the registry allows, and any key name
  if (!cursor->values) {
    DWORD length = 256;
    LSTATUS status = ::RegEnumKeyExW(cursor->key, cursor->index, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (status != ERROR_SUCCESS) return Fail(status);
    ++cursor->index;
    out.name.assign(reinterpret_cast<const char16_t*>(name), length);
    out.type = kRegTypeNone;
    out.data.clear();
    return true;
  }
  out.data.resize(256);
  for (;;) {
    DWORD length = static_cast<DWORD>(std::size(name));
    DWORD type = 0;
    DWORD size = static_cast<DWORD>(out.data.size());
    LSTATUS status = ::RegEnumValueW(cursor->key, cursor->index, name, &length, nullptr, &type, out.data.data(), &size);
    if (status == ERROR_MORE_DATA) {
      out.data.resize(size > out.data.size() ? size : out.data.size() * 2);
      continue;
    }
    if (status != ERROR_SUCCESS) return Fail(status);
    ++cursor->index;
    out.name.assign(reinterpret_cast<const char16_t*>(name), length);
    out.type = type;
    out.data.resize(size);
    return true;
  }
}

void RegistryStoreCursorClose(RegistryStoreCursor* cursor) noexcept {
  if (cursor == nullptr) return;
  ::RegCloseKey(cursor->key);
  delete cursor;
}

}  // namespace qv::os
