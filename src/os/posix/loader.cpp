#include <dlfcn.h>
#include <errno.h>
#include <sys/random.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "os/os_handle.h"
#include "os/os_loader.h"
#include "os/posix/codeset.h"
#include "os/posix/errno_map.h"
#include "os/posix/file_name.h"

namespace qv::os {

namespace {

class LoadedLibrary final : public LibraryObject {
 public:
  explicit LoadedLibrary(void* module) noexcept : m_module(module) {}
  void* Module() const noexcept { return m_module; }

 private:
  ~LoadedLibrary() override { dlclose(m_module); }
  void* m_module;
};

}  // namespace

void* LibraryLoad(std::u16string_view name) noexcept {
  // dlopen of an empty name hands back the main program.
  if (name.empty()) {
    StoreLastError(kErrorModNotFound);
    return nullptr;
  }
  std::string native;
  if (!NativePath(name, native)) return nullptr;
  if (native.find('\0') != std::string::npos) {
    StoreLastError(kErrorModNotFound);
    return nullptr;
  }
  void* module = dlopen(native.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) {
    StoreLastError(kErrorModNotFound);
    return nullptr;
  }
  LoadedLibrary* object = new (std::nothrow) LoadedLibrary(module);
  if (object == nullptr) {
    dlclose(module);
    StoreLastError(kErrorOutOfMemory);
    return nullptr;
  }
  return InsertHandle(object);
}

void* LibrarySymbol(void* library, std::u16string_view symbol) noexcept {
  LibraryObjectRef<LoadedLibrary> object = ReferenceAs<LoadedLibrary>(library);
  if (!object) return nullptr;
  std::string narrow;
  try {
    if (!posix::Utf16ToNarrowExact(symbol, narrow)) return nullptr;
  } catch (...) {
    StoreLastError(kErrorOutOfMemory);
    return nullptr;
  }
  if (narrow.empty() || narrow.find('\0') != std::string::npos) {
    StoreLastError(kErrorProcNotFound);
    return nullptr;
  }
  dlerror();
  void* address = dlsym(object->Module(), narrow.c_str());
  if (address == nullptr) StoreLastError(kErrorProcNotFound);
  return address;
}

bool LibraryUnload(void* library) noexcept {
  // Only library values: a file or thread value is not closed from here.
  if (!ReferenceAs<LoadedLibrary>(library)) return false;
  return HandleClose(library);
}

bool RandomFill(void* buffer, size_t size) noexcept {
  auto* bytes = static_cast<unsigned char*>(buffer);
  while (size > 0) {
    ssize_t got = getrandom(bytes, size, 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      StoreLastErrorFromErrno(errno);
      return false;
    }
    bytes += got;
    size -= static_cast<size_t>(got);
  }
  return true;
}

}  // namespace qv::os
