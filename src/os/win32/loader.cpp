// Libraries with LoadLibraryW and GetProcAddress; random bytes from the
// system's preferred generator.
#include <windows.h>

#include <bcrypt.h>

#include <new>
#include <string>

#include "os/os_error.h"
#include "os/os_handle.h"
#include "os/os_loader.h"
#include "os/win32/file_name.h"

namespace qv::os {

namespace {

class LoadedLibrary final : public LibraryObject {
 public:
  explicit LoadedLibrary(HMODULE module) noexcept : m_module(module) {}
  HMODULE Module() const noexcept { return m_module; }

 private:
  ~LoadedLibrary() override { ::FreeLibrary(m_module); }
  HMODULE m_module;
};

}  // namespace

void* LibraryLoad(std::u16string_view name) noexcept {
  if (name.empty() || name.find(u'\0') != std::u16string_view::npos) {
    StoreLastError(kErrorModNotFound);
    return nullptr;
  }
  std::wstring wide;
  if (!win32::WidePath(name, wide)) return nullptr;
  // A missing library is a result, never a message box.
  DWORD oldMode = 0;
  bool modeSet = ::SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &oldMode);
  HMODULE module = ::LoadLibraryW(wide.c_str());
  uint32_t error = module == nullptr ? win32::KeepSystemError() : 0;
  if (modeSet) ::SetThreadErrorMode(oldMode, nullptr);
  if (module == nullptr) {
    StoreLastError(error);
    return nullptr;
  }
  LoadedLibrary* object = new (std::nothrow) LoadedLibrary(module);
  if (object == nullptr) {
    ::FreeLibrary(module);
    StoreLastError(kErrorOutOfMemory);
    return nullptr;
  }
  return InsertHandle(object);
}

void* LibrarySymbol(void* library, std::u16string_view symbol) noexcept {
  LibraryObjectRef<LoadedLibrary> object = ReferenceAs<LoadedLibrary>(library);
  if (!object) return nullptr;
  if (symbol.empty() || symbol.find(u'\0') != std::u16string_view::npos) {
    StoreLastError(kErrorProcNotFound);
    return nullptr;
  }
  // Export names are bytes; a name that is not plain ASCII has no exact form
  // in every code page, so it is refused rather than guessed.
  std::string narrow;
  try {
    narrow.reserve(symbol.size());
    for (char16_t unit : symbol) {
      if (unit >= 0x80) {
        StoreLastError(kErrorNoUnicodeTranslation);
        return nullptr;
      }
      narrow += static_cast<char>(unit);
    }
  } catch (const std::bad_alloc&) {
    StoreLastError(kErrorOutOfMemory);
    return nullptr;
  }
  FARPROC address = ::GetProcAddress(object->Module(), narrow.c_str());
  if (address == nullptr) {
    win32::KeepSystemError();
    return nullptr;
  }
  return reinterpret_cast<void*>(address);
}

bool LibraryUnload(void* library) noexcept {
  if (!ReferenceAs<LoadedLibrary>(library)) return false;
  return HandleClose(library);
}

bool RandomFill(void* buffer, size_t size) noexcept {
  auto* bytes = static_cast<unsigned char*>(buffer);
  while (size > 0) {
    ULONG chunk = size > 0x40000000 ? 0x40000000 : static_cast<ULONG>(size);
    NTSTATUS status = ::BCryptGenRandom(nullptr, bytes, chunk, BCRYPT_USE_SYSTEM_PREFERRED_RNG);
    if (status < 0) {
      StoreLastError(kErrorGenFailure);
      return false;
    }
    bytes += chunk;
    size -= chunk;
  }
  return true;
}

}  // namespace qv::os
