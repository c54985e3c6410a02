#include "registry/registry_names.h"

#include <unicode/uchar.h>

#include "os/os_env.h"
#include "qvcore5/qv_registry.h"

namespace qv::registry {

bool MapRoot(uint32_t root, RootKey& out) {
  switch (root) {
    case QV_HKEY_CLASSES:
    case QV_HKEY_CLASSES_64:
    case 0x80000000u:
      out.store = os::RegistryStoreKind::kMachine;
      out.prefix = {{u"Software", u"software"}, {u"Classes", u"classes"}};
      return true;
    case QV_HKEY_CONFIG:
    case QV_HKEY_CONFIG_64:
    case 0x80000002u:
      out.store = os::RegistryStoreKind::kMachine;
      out.prefix.clear();
      return true;
    case QV_HKEY_USER:
    case 0x80000001u:
      out.store = os::RegistryStoreKind::kUser;
      out.prefix.clear();
      return true;
    default: return false;
  }
}

std::u16string Fold(const std::u16string& name) {
  std::u16string out(name);
  for (char16_t& u : out) {
    if (u < 0x80) {
      if (u >= u'A' && u <= u'Z') u = static_cast<char16_t>(u + 32);
    } else if (u < 0xD800 || u > 0xDFFF) {
      UChar32 lower = u_tolower(u);
      if (lower <= 0xFFFF) u = static_cast<char16_t>(lower);
    }
  }
  return out;
}

bool AppendPath(const WChar* path, os::RegistryKeyPath& key) {
  if (path == nullptr || *path == 0) return true;
  const WChar* start = path;
  for (const WChar* p = path;; ++p) {
    if (*p != u'\\' && *p != 0) continue;
    size_t length = static_cast<size_t>(p - start);
    if (length == 0 || length > kMaxKeyName) return false;
    std::u16string name(start, length);
    key.push_back({name, Fold(name)});
    if (*p == 0) return true;
    start = p + 1;
  }
}

bool MakeValueName(const WChar* name, os::RegistryName& out) {
  out.spelled.clear();
  if (name != nullptr) {
    size_t length = 0;
    while (name[length] != 0) {
      if (++length > kMaxValueName) return false;
    }
    out.spelled.assign(name, length);
  }
  out.folded = Fold(out.spelled);
  return true;
}

std::u16string ExpandReferences(const std::u16string& text) {
  std::u16string out;
  size_t at = 0;
  while (at < text.size()) {
    size_t open = text.find(u'%', at);
    if (open == std::u16string::npos) break;
    size_t close = text.find(u'%', open + 1);
    if (close == std::u16string::npos) break;
    out.append(text, at, open - at);
    std::u16string name = text.substr(open + 1, close - open - 1), value;
    if (!name.empty() && os::EnvironmentValue(name.c_str(), value)) {
      out += value;
      at = close + 1;
    } else {
      out.append(text, open, close - open);  // the closing % may open the next reference
      at = close;
    }
  }
  out.append(text, at, std::u16string::npos);
  return out;
}

}  // namespace qv::registry
