// Named shared-memory sections and their views, shaped like Windows file
// mappings backed by the paging file. Section handles are handle values of
// os_handle.h (closed with HandleClose); a view is the address it is mapped
// at. A section lives until the last handle and the last view on it in any
// process are gone.
#pragma once
#include <cstdint>
#include <string_view>

namespace qv::os {

// Opens the section of that name or creates it with `size` bytes, read-write.
// *existed tells which. Null with the last error set (87 when it would have
// to be created with size 0; 206 when the name is too long).
void* SectionCreate(std::string_view platformName, uint32_t size, bool* existed) noexcept;

// Opens an existing section; null with last error 2 when there is none.
void* SectionOpen(std::string_view platformName, bool write) noexcept;

enum class ViewAccess { kNone, kRead, kWrite };

// Maps the whole section. Null with the last error set: 87 for an access that
// grants nothing, 5 for a write view of a read-only handle, 6 for a value
// that is not a section handle.
void* SectionMapView(void* section, ViewAccess access) noexcept;

// False with last error 487 when the address is not a view's start.
bool SectionUnmapView(void* address) noexcept;

}  // namespace qv::os
