// Dynamic libraries and the random source of identifiers. Library values are
// entries of the handle table, so a closed or made-up value is refused.
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

}  // namespace qv::os
