// Key objects that walk either store the same way: the operating system's
// registry (through the exported functions) or the INI store.
#pragma once
#include <cstdint>
#include <string>

#include "base/refcounted.h"
#include "qvcore5/qv_registry.h"
#include "registry/ini_file.h"

namespace qv::registry {

constexpr QVRESULT kNotImplemented = QV_RESULT(0x80004001u);
constexpr QVRESULT kBadKind = QV_RESULT(0x80004007u);
constexpr QVRESULT kNameTooLong = QV_RESULT(0x80004009u);
constexpr uint64_t kNoEnum = ~uint64_t{0};
constexpr uint64_t kEmptyEnum = kNoEnum - 1;  // an enumeration of a root the store does not hold yet

// "qvregistry.ini": resolved against the current directory.
extern const char16_t kIniFileName[];

class CRegKey : public base::CQVCoreRefCounted {
 public:
  CRegKey(uint32_t root, std::u16string path) : m_root(root), m_path(std::move(path)) {}

  virtual QVRESULT OpenKeyEnum() = 0;
  virtual QVRESULT EnumNextKey(WChar* name, uint32_t* length) = 0;
  virtual QVRESULT OpenValueEnum() = 0;
  virtual QVRESULT EnumNextValue(WChar* name, uint32_t* length) = 0;
  virtual QVRESULT CloseEnum(uint64_t handle) = 0;
  virtual CRegKey* CreateKey(uint32_t root, const std::u16string& path) = 0;  // one reference taken
  virtual QVRESULT GetValue(const WChar* name, uint32_t* type, void* data, uint32_t* size) = 0;
  virtual QVRESULT SetValue(uint32_t root, const std::u16string& path, const WChar* name, uint32_t type,
                            const void* data, uint32_t size) = 0;

  // The walk: a name of any length is taken whole (the buffer grows).
  bool HasNextKey();
  CRegKey* NextKey();  // one reference taken
  bool HasNextValue();
  std::u16string NextValue();

  uint32_t Root() const { return m_root; }
  const std::u16string& Path() const { return m_path; }

 protected:
  // The next name of an open enumeration whole; a failure ends it.
  virtual QVRESULT FetchNextKey(std::u16string& name);
  virtual QVRESULT FetchNextValue(std::u16string& name);

  uint32_t m_root;
  std::u16string m_path;
  uint64_t m_keyEnum = kNoEnum;
  uint64_t m_valueEnum = kNoEnum;
  bool m_hasNextKey = false;
  std::u16string m_nextKey;
  bool m_hasNextValue = false;
  std::u16string m_nextValue;
};

class CNativeRegKey final : public CRegKey {
 public:
  using CRegKey::CRegKey;
  ~CNativeRegKey() override;
  QVRESULT OpenKeyEnum() override;
  QVRESULT EnumNextKey(WChar* name, uint32_t* length) override;
  QVRESULT OpenValueEnum() override;
  QVRESULT EnumNextValue(WChar* name, uint32_t* length) override;
  QVRESULT CloseEnum(uint64_t handle) override;
  CRegKey* CreateKey(uint32_t root, const std::u16string& path) override;
  QVRESULT GetValue(const WChar* name, uint32_t* type, void* data, uint32_t* size) override;
  QVRESULT SetValue(uint32_t root, const std::u16string& path, const WChar* name, uint32_t type, const void* data,
                    uint32_t size) override;

 protected:
  QVRESULT FetchNextKey(std::u16string& name) override;
  QVRESULT FetchNextValue(std::u16string& name) override;
};

class CIniRegKey final : public CRegKey {
 public:
  using CRegKey::CRegKey;
  ~CIniRegKey() override;
  QVRESULT OpenKeyEnum() override;
  QVRESULT EnumNextKey(WChar* name, uint32_t* length) override;
  QVRESULT OpenValueEnum() override;
  QVRESULT EnumNextValue(WChar* name, uint32_t* length) override;
  QVRESULT CloseEnum(uint64_t handle) override;
  CRegKey* CreateKey(uint32_t root, const std::u16string& path) override;
  QVRESULT GetValue(const WChar* name, uint32_t* type, void* data, uint32_t* size) override;
  QVRESULT SetValue(uint32_t root, const std::u16string& path, const WChar* name, uint32_t type, const void* data,
                    uint32_t size) override;

 protected:
  QVRESULT FetchNextKey(std::u16string& name) override;
  QVRESULT FetchNextValue(std::u16string& name) override;
};

// The section of a root and key path; throws 0x80070057 for a root outside 0-4.
std::u16string SectionName(uint32_t root, const std::u16string& path);

// QV_REGISTRY_NATIVE or QV_REGISTRY_INI; throws 0x80004007 for any other kind.
CRegKey* CreateRegKey(uint32_t kind, uint32_t root, const std::u16string& path);

// The process's INI store, made on first use for kIniFileName in the current
// directory; SetIniStore replaces it (and takes ownership), null destroys it.
IniFile& GetIniStore();
void SetIniStore(IniFile* store);

// Holds one reference and releases it.
class KeyRef {
 public:
  explicit KeyRef(CRegKey* key) : m_key(key) {}
  ~KeyRef() {
    if (m_key) m_key->ReleaseReference();
  }
  KeyRef(const KeyRef&) = delete;
  KeyRef& operator=(const KeyRef&) = delete;
  CRegKey* operator->() const { return m_key; }
  CRegKey& operator*() const { return *m_key; }

 private:
  CRegKey* m_key;
};

}  // namespace qv::registry
