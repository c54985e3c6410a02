// Roots, key paths and names of the registry interface, checked and folded
// once before they reach the store.
#pragma once
#include <cstdint>
#include <string>

#include "base/wide.h"
#include "os/os_registry_store.h"

namespace qv::registry {

constexpr size_t kMaxKeyName = 255;
constexpr size_t kMaxValueName = 16383;
constexpr uint32_t kMaxData = 1u << 20;

struct RootKey {
  os::RegistryStoreKind store;
  os::RegistryKeyPath prefix;  // the classes root is a key of the machine store
};

// False for a number that names no root.
bool MapRoot(uint32_t root, RootKey& out);
// The per-unit lower-casing names are compared by (independent of the locale,
// so every process folds a stored name the same way).
std::u16string Fold(const std::u16string& name);
// Appends the path's names to `key`; false for an empty component or one
// longer than a key name may be. Null is the empty path.
bool AppendPath(const WChar* path, os::RegistryKeyPath& key);
// False for a value name longer than allowed. Null is the empty name.
bool MakeValueName(const WChar* name, os::RegistryName& out);
// Expands %NAME% references from the environment; undefined ones stay as written.
std::u16string ExpandReferences(const std::u16string& text);

}  // namespace qv::registry
