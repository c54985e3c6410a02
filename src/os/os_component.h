// The component model's platform parts: the task allocator that every module
// of the process shares (a block one component allocates another may free),
// and new identifiers.
#pragma once
#include <cstddef>

namespace qv::os {

void* ComponentMemoryTake(size_t size) noexcept;
// Null for a size of 0 (the block is freed) and when the block cannot grow
// (the block stays).
void* ComponentMemoryResize(void* block, size_t size) noexcept;
void ComponentMemoryGive(void* block) noexcept;

// Fills 16 bytes with a new random (version 4, RFC 4122 variant) identifier
// in GUID memory order; false with the last error set.
bool IdentifierMake(void* identifier) noexcept;

}  // namespace qv::os
