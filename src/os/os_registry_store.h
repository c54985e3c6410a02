// The operating system's registry store: keys of 16-bit names below two
// stores (the machine's and the current user's), each key holding named,
// typed values. Names arrive twice: as spelled (kept as first stored) and
// folded by the caller's case mapping (compared and ordered by). Every call
// is one transaction of the store. Failures set the last error: 2 missing
// key or value, 5 no write permission, 6 no such store, 87 bad name,
// 170 store busy past the time-out, 1009 not a store (the file is kept as it
// is), 1018 the enumerated key was deleted, 259 no more entries.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace qv::os {

enum class RegistryStoreKind : uint32_t { kMachine, kUser };

// The value types as the platform registry numbers them.
enum : uint32_t {
  kRegTypeNone = 0,
  kRegTypeString = 1,
  kRegTypeExpandString = 2,
  kRegTypeBinary = 3,
  kRegTypeNumber = 4,
  kRegTypeMultiString = 7,
  kRegTypeQuadNumber = 11,
};

struct RegistryName {
  std::u16string spelled;
  std::u16string folded;
};

// A key below a store's top, one name per level; empty names the top.
using RegistryKeyPath = std::vector<RegistryName>;

struct RegistryEntry {
  std::u16string name;
  uint32_t type = 0;
  std::vector<unsigned char> data;
};

// Reads one value; last error 2 when the key or the value is missing. A
// store that compares names itself takes the spelling, the others the fold.
bool RegistryStoreFetch(RegistryStoreKind store, const RegistryKeyPath& key, const RegistryName& value,
                        RegistryEntry& out);
// Stores one value, making every missing key of the path.
bool RegistryStorePut(RegistryStoreKind store, const RegistryKeyPath& key, const RegistryName& value,
                      uint32_t type, const void* data, uint32_t size);
bool RegistryStoreErase(RegistryStoreKind store, const RegistryKeyPath& key, const RegistryName& value);
// Removes a key (never the top) with everything below it, or nothing.
bool RegistryStoreEraseTree(RegistryStoreKind store, const RegistryKeyPath& key);
// Whether the key exists (last error 2 when not).
bool RegistryStoreProbe(RegistryStoreKind store, const RegistryKeyPath& key);

// A position in the subkeys or the values of one key; each step returns the
// entry after the previous one (subkeys by folded name, values in the order
// first stored).
class RegistryStoreCursor;
RegistryStoreCursor* RegistryStoreCursorOpen(RegistryStoreKind store, const RegistryKeyPath& key, bool values);
bool RegistryStoreCursorStep(RegistryStoreCursor* cursor, RegistryEntry& out);
void RegistryStoreCursorClose(RegistryStoreCursor* cursor) noexcept;

}  // namespace qv::os
