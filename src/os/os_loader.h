// Dynamic libraries, the random source of identifiers and the component
// allocator. Library values are entries of the handle table, so a closed or
// made-up value is refused.
#pragma once
#include <cstddef>
#include <string_view>

namespace qv::os {

// A handle-table value, or null with the last error: 126 the library cannot
// be loaded (an empty name included), 123 a name with no byte form, 14.
void* LibraryLoad(std::u16string_view name) noexcept;
// The symbol's address, or null with last error 6 (not a library value),
// 127 (no such symbol, the empty name included) or 1113 (no narrow form).
void* LibrarySymbol(void* library, std::u16string_view symbol) noexcept;
// False with last error 6 when the value is not an open library value.
bool LibraryUnload(void* library) noexcept;

// Fills the buffer from the kernel's random generator; false with its error.
bool RandomFill(void* buffer, size_t size) noexcept;

// A new random identifier (RFC 4122 version 4) in the 16-byte layout of a
// GUID (32-, 16- and 16-bit fields in the machine's order, then 8 bytes);
// false with the last error set.
bool IdentifierMake(void* identifier) noexcept;

// The component allocator that every module of the process shares. Resizing
// to 0 frees the block and gives null; a block that cannot grow stays as it was.
void* ComponentBlockAllocate(size_t size) noexcept;
void* ComponentBlockResize(void* block, size_t size) noexcept;
void ComponentBlockFree(void* block) noexcept;

}  // namespace qv::os
