// Sections are Windows file mappings backed by the paging file; views are
// mapped views. Each view is recorded with a handle of its own on the
// section: Windows drops a section's name with its last handle even while
// views remain, and here a view keeps the named section as a handle does.
// The record also refuses an address that is not a view's start (487)
// instead of unmapping the view it lies in.
#include <windows.h>

#include <mutex>
#include <new>
#include <map>
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
  std::map<uintptr_t, HANDLE> views;
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
        win32::StoreNativeError();
        if (LastError() == kErrorFileNotFound) StoreLastError(kErrorInvalidParameter);
        return nullptr;
      }
      if (existed != nullptr) *existed = true;
      return Publish(mapping, true);
    }
    // No access list: every user of the machine may use the section.
    SECURITY_DESCRIPTOR descriptor;
    if (!InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE))
      return win32::StoreNativeError(), nullptr;
    SECURITY_ATTRIBUTES attributes{sizeof attributes, &descriptor, TRUE};
    HANDLE mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, &attributes, PAGE_READWRITE, 0, size, wide.c_str());
    if (mapping == nullptr) return win32::StoreNativeError(), nullptr;
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
    if (mapping == nullptr) return win32::StoreNativeError(), nullptr;
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
  HANDLE holder = nullptr;
  if (!DuplicateHandle(GetCurrentProcess(), section->Mapping(), GetCurrentProcess(), &holder, 0, FALSE,
                       DUPLICATE_SAME_ACCESS))
    return win32::StoreNativeError(), nullptr;
  void* view = MapViewOfFile(section->Mapping(), write ? FILE_MAP_WRITE : FILE_MAP_READ, 0, 0, 0);
  if (view == nullptr) {
    win32::StoreNativeError();
    CloseHandle(holder);
    return nullptr;
  }
  HANDLE stale = nullptr;
  try {
    ViewTable& views = Views();
    std::lock_guard<std::mutex> guard(views.lock);
    HANDLE& slot = views.views[reinterpret_cast<uintptr_t>(view)];
    // An address already recorded was unmapped behind the library's back.
    stale = slot;
    slot = holder;
  } catch (...) {
    UnmapViewOfFile(view);
    CloseHandle(holder);
    StoreLastError(kErrorOutOfMemory);
    return nullptr;
  }
  if (stale != nullptr) CloseHandle(stale);
  return view;
}

bool SectionUnmapView(void* address) noexcept {
  ViewTable& views = Views();
  HANDLE holder;
  {
    std::lock_guard<std::mutex> guard(views.lock);
    auto it = views.views.find(reinterpret_cast<uintptr_t>(address));
    if (it == views.views.end()) {
      StoreLastError(kErrorInvalidAddress);
      return false;
    }
    holder = it->second;
    views.views.erase(it);
  }
  bool unmapped = UnmapViewOfFile(address) || win32::StoreNativeError();
  CloseHandle(holder);
  return unmapped;
}

}  // namespace qv::os
