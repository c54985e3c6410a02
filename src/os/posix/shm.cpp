#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <mutex>
#include <string>

#include "os/os_error.h"
#include "os/os_handle.h"
#include "os/os_object_name.h"
#include "os/os_shm.h"
#include "os/posix/named_object.h"
#include "os/posix/errno_map.h"

namespace qv::os {

namespace {

class SectionObject final : public LibraryObject {
 public:
  SectionObject(posix::NamedObjectRef object, bool writable) : m_object(std::move(object)), m_writable(writable) {}
  ~SectionObject() override { posix::ReleaseNamedObject(m_object); }
  const posix::NamedObjectRef& Object() const noexcept { return m_object; }
  bool Writable() const noexcept { return m_writable; }

 private:
  posix::NamedObjectRef m_object;
  bool m_writable;
};

// A view remembers its length for unmapping and holds the section's lock on
// its own file description, as a Windows view keeps its section alive.
struct ViewRecord {
  size_t length;
  posix::NamedObjectRef holder;
};

struct ViewTable {
  std::mutex lock;
  std::map<uintptr_t, ViewRecord> views;
};

// Never destroyed, like the handle table.
ViewTable& Views() noexcept {
  static ViewTable* table = new ViewTable();
  return *table;
}

bool InitializeSection(int fd, void* context) {
  if (ftruncate(fd, static_cast<off_t>(*static_cast<uint32_t*>(context))) != 0) {
    StoreLastErrorFromErrno(errno);
    return false;
  }
  return true;
}

// The creator's ftruncate is the last step of building a section, and a
// section is never empty.
bool SectionReady(int fd, void*) {
  struct stat st;
  return fstat(fd, &st) == 0 && st.st_size > 0;
}

void* OpenSection(std::string_view platformName, posix::NamedOpen mode, bool write, uint32_t size,
                  bool* existed) noexcept {
  try {
    std::string name;
    if (!MapObjectName(platformName, name)) return nullptr;
    posix::NamedObjectBuilder builder{&InitializeSection, &SectionReady, &size};
    posix::NamedObjectRef object;
    // A size of 0 can only open: the section must exist already.
    posix::NamedOpen effective = (mode == posix::NamedOpen::kOpenOrCreate && size == 0)
                                     ? posix::NamedOpen::kOpenExisting
                                     : mode;
    int opened = posix::OpenNamedObject(name, effective, write, builder, object);
    if (opened < 0) {
      if (effective != mode && LastError() == kErrorFileNotFound) StoreLastError(kErrorInvalidParameter);
      return nullptr;
    }
    if (existed != nullptr) *existed = opened == 0;
    auto* section = new (std::nothrow) SectionObject(std::move(object), write);
    if (section == nullptr) {
      posix::ReleaseNamedObject(object);
      StoreLastError(kErrorOutOfMemory);
      return nullptr;
    }
    return InsertHandle(section);
  } catch (...) {
    StoreLastError(kErrorOutOfMemory);
    return nullptr;
  }
}

}  // namespace

void* SectionCreate(std::string_view platformName, uint32_t size, bool* existed) noexcept {
  return OpenSection(platformName, posix::NamedOpen::kOpenOrCreate, true, size, existed);
}

void* SectionOpen(std::string_view platformName, bool write) noexcept {
  return OpenSection(platformName, posix::NamedOpen::kOpenExisting, write, 0, nullptr);
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
  const posix::NamedObjectRef& object = section->Object();
  struct stat st;
  if (fstat(object.fd, &st) != 0) {
    StoreLastErrorFromErrno(errno);
    return nullptr;
  }
  size_t length = static_cast<size_t>(st.st_size);
  void* view = mmap(nullptr, length, write ? PROT_READ | PROT_WRITE : PROT_READ, MAP_SHARED, object.fd, 0);
  if (view == MAP_FAILED) {
    StoreLastErrorFromErrno(errno);
    return nullptr;
  }
  ViewRecord record{length, {}};
  if (!posix::DuplicateNamedObject(object, write, record.holder)) {
    uint32_t error = LastError();
    munmap(view, length);
    StoreLastError(error);
    return nullptr;
  }
  ViewRecord stale{0, {}};
  try {
    ViewTable& views = Views();
    std::lock_guard<std::mutex> guard(views.lock);
    ViewRecord& slot = views.views[reinterpret_cast<uintptr_t>(view)];
    // An address already recorded was unmapped behind the library's back.
    stale = std::move(slot);
    slot = std::move(record);
  } catch (...) {
    munmap(view, length);
    posix::ReleaseNamedObject(record.holder);
    StoreLastError(kErrorOutOfMemory);
    return nullptr;
  }
  posix::ReleaseNamedObject(stale.holder);
  return view;
}

bool SectionUnmapView(void* address) noexcept {
  ViewTable& views = Views();
  ViewRecord record;
  {
    std::lock_guard<std::mutex> guard(views.lock);
    auto it = views.views.find(reinterpret_cast<uintptr_t>(address));
    if (it == views.views.end()) {
      StoreLastError(kErrorInvalidAddress);
      return false;
    }
    record = std::move(it->second);
    views.views.erase(it);
  }
  munmap(address, record.length);
  posix::ReleaseNamedObject(record.holder);
  return true;
}

}  // namespace qv::os
