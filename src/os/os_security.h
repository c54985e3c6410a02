// Security descriptors for machine-wide objects: on Windows a descriptor
// whose access list grants one access mask to authenticated users only.
// Platforms without such descriptors report that they have none.
#pragma once
#include <cstdint>

namespace qv::os {

// True where the platform has security descriptors to build.
bool HasSecurityDescriptors() noexcept;

// Initialises the descriptor in the caller's memory (at least the platform's
// descriptor size) with an access list of exactly one entry granting the
// mask to authenticated users; the list is stored in *accessList and freed
// with RestrictedAccessListFree. False with the last error set and
// *accessList null on failure (14 when memory runs out).
bool RestrictedDescriptorBuild(void* descriptor, uint32_t accessMask, void** accessList) noexcept;
void RestrictedAccessListFree(void* accessList) noexcept;

}  // namespace qv::os
