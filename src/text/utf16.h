// Surrogate arithmetic shared by the converters.
#pragma once
#include <cstdint>

#include "qvcore5/qv_base.h"
#include "base/wide.h"

namespace qv::text {

constexpr bool IsLead(uint32_t u) noexcept { return u >= 0xD800 && u <= 0xDBFF; }
constexpr bool IsTrail(uint32_t u) noexcept { return u >= 0xDC00 && u <= 0xDFFF; }
constexpr bool IsSurrogate(uint32_t u) noexcept { return u >= 0xD800 && u <= 0xDFFF; }
constexpr uint32_t Combine(uint32_t lead, uint32_t trail) noexcept {
  return 0x10000 + ((lead - 0xD800) << 10) + (trail - 0xDC00);
}
constexpr WChar LeadOf(uint32_t c) noexcept { return static_cast<WChar>(0xD800 + ((c - 0x10000) >> 10)); }
constexpr WChar TrailOf(uint32_t c) noexcept { return static_cast<WChar>(0xDC00 + ((c - 0x10000) & 0x3FF)); }

}  // namespace qv::text
