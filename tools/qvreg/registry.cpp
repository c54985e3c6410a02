#include "registry.h"

#include <cstdio>
#include <cstdlib>

#include "text.h"

namespace qvreg {

namespace {

struct RootEntry {
  const char* name;
  uint32_t root;
};
// The first name of each root is the one written out.
constexpr RootEntry kRoots[] = {
    {"HKEY_CLASSES_ROOT", QV_HKEY_CLASSES},   {"HKEY_LOCAL_MACHINE", QV_HKEY_CONFIG},
    {"HKEY_CURRENT_USER", QV_HKEY_USER},      {"QV_HKEY_CLASSES_64", QV_HKEY_CLASSES_64},
    {"QV_HKEY_CONFIG_64", QV_HKEY_CONFIG_64}, {"HKCR", QV_HKEY_CLASSES},
    {"HKLM", QV_HKEY_CONFIG},                 {"HKCU", QV_HKEY_USER},
    {"QV_HKEY_CLASSES", QV_HKEY_CLASSES},     {"QV_HKEY_CONFIG", QV_HKEY_CONFIG},
    {"QV_HKEY_USER", QV_HKEY_USER},
};

// Longest value name the store takes, plus the terminator.
constexpr uint32_t kValueNameCapacity = 16384;
constexpr uint32_t kKeyNameCapacity = 256;

void SetVariable(const std::string& name, const char* value) {
#ifdef _WIN32
  _putenv_s(name.c_str(), value ? value : "");
#else
  if (value) setenv(name.c_str(), value, 1);
  else unsetenv(name.c_str());
#endif
}

// The interface reports expandable strings as plain strings (their data
// unexpanded when enumerated, expanded when read). Setting every variable the
// text could refer to and reading the value again tells the two apart: only an
// expandable string changes.
bool IsExpandable(const Key& key, const Value& value) {
  std::u16string raw;
  for (size_t i = 0; i + 1 < value.data.size(); i += 2) {
    char16_t unit = static_cast<char16_t>(value.data[i] | (value.data[i + 1] << 8));
    if (unit == 0) break;
    raw.push_back(unit);
  }
  struct Saved {
    std::string name;
    bool had;
    std::string old;
  };
  std::vector<Saved> saved;
  size_t open = raw.find(u'%');
  while (open != std::u16string::npos) {
    size_t close = raw.find(u'%', open + 1);
    if (close == std::u16string::npos) break;
    std::u16string name = raw.substr(open + 1, close - open - 1);
    bool plain = !name.empty();
    for (char16_t c : name) plain = plain && c > 0x20 && c < 0x7F && c != u'=';
    if (plain) {
      std::string narrow = ToUtf8(name);
      const char* old = std::getenv(narrow.c_str());
      saved.push_back({narrow, old != nullptr, old ? old : ""});
      SetVariable(narrow, "\x01");
    }
    open = close;
  }
  if (saved.empty()) return false;
  uint32_t size = 0;
  QVRESULT result = QVRegistryGetValue(key.root, Api(key.path), Api(value.name), nullptr, nullptr, &size);
  std::vector<char16_t> expanded(size / 2 + 1);
  if (result >= 0) {
    size = static_cast<uint32_t>(expanded.size() * 2);
    result = QVRegistryGetValue(key.root, Api(key.path), Api(value.name), nullptr, Api(expanded.data()), &size);
  }
  for (auto it = saved.rbegin(); it != saved.rend(); ++it) SetVariable(it->name, it->had ? it->old.c_str() : nullptr);
  return result >= 0 && std::u16string(expanded.data()) != raw;
}

// Opens a value enumeration and passes over the first `skip` entries.
QVRESULT OpenValuesAt(const Key& key, size_t skip, QVREGENUM& handle) {
  QVRESULT result = QVRegistryOpenValueEnum(key.root, Api(key.path), &handle);
  if (result < 0) return result;
  std::u16string name(kValueNameCapacity, u'\0');
  for (size_t i = 0; i < skip; ++i) {
    uint32_t length = kValueNameCapacity;
    QVRegistryEnumNextValue(handle, Api(name.data()), &length, nullptr, nullptr, nullptr);
  }
  return 0;
}

}  // namespace

bool ParseKey(std::u16string_view text, Key& key) {
  size_t slash = text.find(u'\\');
  std::u16string_view root = text.substr(0, slash);
  for (const RootEntry& entry : kRoots) {
    if (EqualNoCase(root, entry.name)) {
      key.root = entry.root;
      key.path = slash == std::u16string_view::npos ? std::u16string() : std::u16string(text.substr(slash + 1));
      if (!key.path.empty() && key.path.back() == u'\\') key.path.pop_back();
      return true;
    }
  }
  return false;
}

std::string RootName(uint32_t root) {
  for (const RootEntry& entry : kRoots) {
    if (entry.root == root) return entry.name;
  }
  return "?";
}

std::u16string KeyText(const Key& key) {
  std::u16string text;
  FromUtf8(RootName(key.root), text);
  if (!key.path.empty()) text += u'\\' + key.path;
  return text;
}

Key Child(const Key& key, const std::u16string& name) {
  return Key{key.root, key.path.empty() ? name : key.path + u'\\' + name};
}

QVRESULT KeyExists(const Key& key) {
  QVREGENUM handle = QV_INVALID_REGENUM;
  QVRESULT result = QVRegistryOpenValueEnum(key.root, Api(key.path), &handle);
  if (result >= 0) QVRegistryCloseEnum(handle);
  return result;
}

QVRESULT ReadValues(const Key& key, std::vector<Value>& values) {
  values.clear();
  std::vector<uint8_t> buffer(64 * 1024);
  std::u16string name(kValueNameCapacity, u'\0');
  QVREGENUM handle = QV_INVALID_REGENUM;
  QVRESULT result = OpenValuesAt(key, 0, handle);
  if (result < 0) return result;
  for (;;) {
    uint32_t length = kValueNameCapacity;
    uint32_t type = kTypeUnreported;
    uint32_t size = static_cast<uint32_t>(buffer.size());
    result = QVRegistryEnumNextValue(handle, Api(name.data()), &length, &type, buffer.data(), &size);
    if (result < 0 && size > buffer.size()) {
      // The entry was passed over: start again with room for it.
      QVRegistryCloseEnum(handle);
      buffer.resize(size);
      result = OpenValuesAt(key, values.size(), handle);
      if (result < 0) return result;
      continue;
    }
    if (result < 0) break;  // the end, or an entry that cannot be read
    Value value{name.substr(0, length), type, std::vector<uint8_t>(buffer.begin(), buffer.begin() + size)};
    if (type == kTypeUnreported) {
      QVRegistryGetValue(key.root, Api(key.path), Api(value.name), &value.type, nullptr, &size);
    } else if (type == QV_REG_STRING && IsExpandable(key, value)) {
      value.type = QV_REG_EXPAND_STRING;
    }
    values.push_back(std::move(value));
  }
  QVRegistryCloseEnum(handle);
  return 0;
}

QVRESULT ReadSubkeys(const Key& key, std::vector<std::u16string>& names) {
  names.clear();
  QVRESULT exists = KeyExists(key);
  if (exists < 0) return exists;
  QVREGENUM handle = QV_INVALID_REGENUM;
  QVRESULT result = QVRegistryOpenKeyEnum(key.root, Api(key.path), &handle);
  if (result < 0) return result;
  char16_t name[kKeyNameCapacity];
  for (;;) {
    uint32_t length = kKeyNameCapacity;
    if (QVRegistryEnumNextKey(handle, Api(name), &length) < 0) break;
    names.emplace_back(name, length);
  }
  QVRegistryCloseEnum(handle);
  return 0;
}

std::string DescribeResult(QVRESULT result) {
  struct Word {
    uint32_t code;
    const char* text;
  };
  static constexpr Word kWords[] = {
      {0x80004001u, "not implemented"},        {0x80004005u, "failed"},
      {0x80004007u, "unknown store kind"},     {0x80004009u, "buffer too small"},
      {0x80070002u, "not found"},              {0x80070005u, "access denied"},
      {0x80070006u, "unknown root or handle"}, {0x8007000Du, "invalid data"},
      {0x8007000Eu, "out of memory"},          {0x80070026u, "end of file"},
      {0x80070057u, "invalid argument"},       {0x800700B7u, "already exists"},
      {0x800703E9u, "tree too deep"},          {0x800705B4u, "timed out"},
  };
  const char* text = "failure";
  for (const Word& word : kWords) {
    if (word.code == static_cast<uint32_t>(result)) text = word.text;
  }
  char line[80];
  std::snprintf(line, sizeof line, "0x%08X (%s)", static_cast<unsigned>(result), text);
  return line;
}

}  // namespace qvreg
