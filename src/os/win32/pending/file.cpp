// Placeholder until the Windows file backend exists: every call fails with 50.
#include "os/os_error.h"
#include "os/os_file.h"

namespace qv::os {

namespace {
bool Unsupported() noexcept {
  StoreLastError(kErrorNotSupported);
  return false;
}
}  // namespace

void* OsFileOpen(std::u16string_view, const FileOpenOptions&, bool*) noexcept { return Unsupported(), nullptr; }
void* OsFileOpenAnonymous(const FileOpenOptions&) noexcept { return Unsupported(), nullptr; }
void StreamKeepFromChildren(std::FILE*) noexcept {}
bool OsFileClose(void*) noexcept { return Unsupported(); }
bool OsFileReadBytes(void*, void*, uint32_t, uint32_t*) noexcept { return Unsupported(); }
bool OsFileWriteBytes(void*, const void*, uint32_t, uint32_t*) noexcept { return Unsupported(); }
bool OsFileMovePointer(void*, int64_t, uint32_t, uint64_t*) noexcept { return Unsupported(); }
bool OsFileSyncData(void*) noexcept { return Unsupported(); }
bool OsFileQuerySize(void*, uint64_t*) noexcept { return Unsupported(); }
bool OsFileSetLength(void*, uint64_t) noexcept { return Unsupported(); }
bool OsFileSameObject(void*, void*, bool*) noexcept { return Unsupported(); }
bool OsFileRangeLock(void*, uint64_t, uint64_t, bool, bool) noexcept { return Unsupported(); }
bool OsFileRangeUnlock(void*, uint64_t, uint64_t) noexcept { return Unsupported(); }
bool OsFileCopyChunk(void*, void*, uint64_t, uint64_t*) noexcept { return Unsupported(); }
bool OsFileRemove(std::u16string_view) noexcept { return Unsupported(); }
bool OsDirMake(std::u16string_view) noexcept { return Unsupported(); }
bool OsDirDelete(std::u16string_view) noexcept { return Unsupported(); }

}  // namespace qv::os
