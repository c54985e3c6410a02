// The library's entry routine: DllMain when the library is qvcore5.dll. A
// program that links the library's objects itself (the test programs) has no
// DLL entry, so there a load-time constructor and destructor stand in.
#include <windows.h>

#include "os/os_entry.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace qv::os {

namespace {

bool LinkedIntoProgram() noexcept { return GetModuleHandleW(nullptr) == reinterpret_cast<HMODULE>(&__ImageBase); }

__attribute__((constructor)) void OnProgramStart() {
  if (LinkedIntoProgram()) core::LibraryEntry(&__ImageBase, kEntryProcessAttach, nullptr);
}
__attribute__((destructor)) void OnProgramEnd() {
  if (LinkedIntoProgram()) core::LibraryEntry(&__ImageBase, kEntryProcessDetach, nullptr);
}

}  // namespace

}  // namespace qv::os

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved) {
  using namespace qv::os;
  if (reason != DLL_PROCESS_ATTACH && reason != DLL_PROCESS_DETACH) return TRUE;
  return qv::core::LibraryEntry(module, reason, reserved) != 0 ? TRUE : FALSE;
}
