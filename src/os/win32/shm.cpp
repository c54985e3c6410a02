// Sections are Windows file mappings backed by the paging file; views are
// mapped views. The views are recorded so that an address that is not a
// view's start is refused with 487 instead of unmapping a view it lies in.
#include <windows.h>

#include <mutex>
#include <new>
#include <set>
#include <string>

#include "os/os_error.h"
#include "os/os_handle.h"
#include "os/os_object_name.h"
#include "os/os_shm.h"
#include "os/win32/wide_text.h"

namespace qv::os {

namespace {

class SectionObject final : public LibraryObject {
 public:
  SectionObject(HANDLE mapping, bool writable) noexcept : m_mapping(mapping), m_writable(writable) {}
  ~SectionObject() override { CloseHandle(m_mapping); }
  HANDLE Mapping() const noexcept { return m_mapping; }
  bool Writable() const noexcept { return m_writable; }

 private:
  HANDLE m_mapping;
  bool m_writable;
};

struct ViewTable {
  std::mutex lock;
  std::set<uintptr_t> views;
};

// Never destroyed: views may be unmapped from the library's unload-time teardown.
ViewTable& Views() noexcept {
  static ViewTable* table = new ViewTable();
  return *table;
}

void* Publish(HANDLE mapping, bool writable) noexcept {
  auto* section = new (std::nothrow) SectionObject(mapping, writable);
  if (section == nullptr) {
    CloseHandle(mapping);
    StoreLastError(kErrorOutOfMemory);
    return nullptr;
  }
  return InsertHandle(section);
}

bool WideName(std::string_view platformName, std::wstring& wide) {
  std::string name;
  return MapObjectName(platformName, name) && win32::AnsiToWide(name, wide);
}

}  // namespace

void* SectionCreate(std::string_view platformName, uint32_t size, bool* existed) noexcept {
  try {
    std::wstring wide;
    if (!WideName(platformName, wide)) return nullptr;
    if (size == 0) {
      // A size of 0 can only open: the section must exist already.
      HANDLE mapping = OpenFileMappingW(FILE_MAP_WRITE | FILE_MAP_READ, TRUE, wide.c_str());
      if (mapping == nullptr) {
        if (GetLastError() == ERROR_FILE_NOT_FOUND) StoreLastError(kErrorInvalidParameter);
        return nullptr;
      }
      if (existed != nullptr) *existed = true;
      return Publish(mapping, true);
    }
    // No access list: every user of the machine may use the section.
    SECURITY_DESCRIPTOR descriptor;
    if (!InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE))
      return nullptr;
    SECURITY_ATTRIBUTES attributes{sizeof attributes, &descriptor, TRUE};
    HANDLE mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, &attributes, PAGE_READWRITE, 0, size, wide.c_str());
    if (mapping == nullptr) return nullptr;
    if (existed != nullptr) *existed = GetLastError() == ERROR_ALREADY_EXISTS;
    return Publish(mapping, true);
  } catch (...) {
    StoreLastError(kErrorOutOfMemory);
    return nullptr;
  }
}

void* SectionOpen(std::string_view platformName, bool write) noexcept {
  try {
    std::wstring wide;
    if (!WideName(platformName, wide)) return nullptr;
    HANDLE mapping = OpenFileMappingW(write ? FILE_MAP_WRITE : FILE_MAP_READ, TRUE, wide.c_str());
    if (mapping == nullptr) return nullptr;
    return Publish(mapping, write);
  } catch (...) {
    StoreLastError(kErrorOutOfMemory);
    return nullptr;
  }
}

void* SectionMapView(void* sectionHandle, ViewAccess access) noexcept {
  LibraryObjectRef<SectionObject> section = ReferenceAs<SectionObject>(sectionHandle);
  if (!section) return nullptr;
  if (access == ViewAccess::kNone) {
    StoreLastError(kErrorInvalidParameter);
    return nullptr;
  }
  bool write = access == ViewAccess::kWrite;
  if (write && !section->Writable()) {
    StoreLastError(kErrorAccessDenied);
    return nullptr;
  }
  void* view = MapViewOfFile(section->Mapping(), write ? FILE_MAP_WRITE : FILE_MAP_READ, 0, 0, 0);
  if (view == nullptr) return nullptr;
  try {
    ViewTable& views = Views();
    std::lock_guard<std::mutex> guard(views.lock);
    views.views.insert(reinterpret_cast<uintptr_t>(view));
  } catch (...) {
    UnmapViewOfFile(view);
    StoreLastError(kErrorOutOfMemory);
    return nullptr;
  }
  return view;
}

bool SectionUnmapView(void* address) noexcept {
  ViewTable& views = Views();
  {
    std::lock_guard<std::mutex> guard(views.lock);
    if (views.views.erase(reinterpret_cast<uintptr_t>(address)) == 0) {
      StoreLastError(kErrorInvalidAddress);
      return false;
    }
  }
  return UnmapViewOfFile(address) != FALSE;
}

}  // namespace qv::os
