// Placeholder until the Windows process backend exists: every call fails with 50.
#include <windows.h>

#include "os/os_error.h"
#include "os/os_process.h"

namespace qv::os {

void* ChildStart(const ChildStartRequest&) noexcept {
  StoreLastError(kErrorNotSupported);
  return nullptr;
}
void ChildAbandon(void*) noexcept {}
bool ChildExitState(void*, bool*, uint32_t*) noexcept {
  StoreLastError(kErrorNotSupported);
  return false;
}
bool ChildAwaitEnd(void*) noexcept {
  StoreLastError(kErrorNotSupported);
  return false;
}
bool ChildHandleClose(void*) noexcept {
  StoreLastError(kErrorNotSupported);
  return false;
}
void* WakeSignalMake() noexcept {
  StoreLastError(kErrorNotSupported);
  return nullptr;
}
void WakeSignalRaise(void*) noexcept {}
void WakeSignalDispose(void*) noexcept {}
bool ChildAwaitAny(const std::vector<void*>&, void*, size_t*) noexcept {
  StoreLastError(kErrorNotSupported);
  return false;
}
bool PipeMake(void**, void**) noexcept {
  StoreLastError(kErrorNotSupported);
  return false;
}
uint32_t OwnProcessIdentifier() noexcept { return static_cast<uint32_t>(::GetCurrentProcessId()); }

}  // namespace qv::os
