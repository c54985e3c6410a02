// The case-insensitive narrow comparison comes in variants by vector width;
// the widest one the processor offers is chosen when the library is loaded.
#pragma once

namespace qv::text {

enum class ICompareVariant { kBytes, kSse2, kAvx2 };

// Switches QVStrICmpA and QVStrNICmpA to a variant (for tests, which check
// each one); false when the build or the processor lacks it. Not meant to run
// while other threads compare.
bool UseICompareVariant(ICompareVariant variant) noexcept;

}  // namespace qv::text
