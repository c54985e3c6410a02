// The fixed mapping of Windows locale identifiers to locale names.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace qv::text {

struct LocaleMapEntry {
  uint32_t id;  // language identifier in the low 16 bits, sort identifier above
  const char* name;
};

// The default locale: the name of every identifier outside the mapping.
constexpr uint32_t kDefaultLocaleId = 0x0409;
constexpr const char* kDefaultLocaleName = "en_US";

// The entries, sorted by identifier (the default locale is not among them).
std::span<const LocaleMapEntry> LocaleMap() noexcept;

// The name of an identifier; "en_US" when the mapping does not hold it.
const char* LocaleNameFromId(uint32_t id) noexcept;
// The identifier whose name is exactly `name` (case-sensitive), "en_US" included.
std::optional<uint32_t> LocaleIdFromName(std::string_view name) noexcept;

}  // namespace qv::text
