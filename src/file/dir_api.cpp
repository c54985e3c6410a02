// The exported directory functions. Directory handles are handle values of
// the library like file handles, so a mixed-up or closed handle is refused.
#include <climits>
#include <string>

#include "file/file_open.h"
#include "os/os_error.h"
#include "os/os_file.h"
#include "base/wide.h"

using namespace qv;

namespace {

int32_t Time32(int64_t seconds) noexcept {
  return seconds < INT32_MIN || seconds > INT32_MAX ? 0 : static_cast<int32_t>(seconds);
}

}  // namespace

extern "C" {

QV_API QVRESULT QVDirCreate(const QVWCHAR* path) {
  if (path == nullptr) return QV_E_INVALIDARG;
  return os::OsDirMake(file::PathText(qv::Wide(path))) ? QV_S_OK : file::PathFailure();
}

QV_API QVRESULT QVDirRemove(const QVWCHAR* path) {
  if (path == nullptr) return QV_E_INVALIDARG;
  return os::OsDirDelete(file::PathText(qv::Wide(path))) ? QV_S_OK : file::PathFailure();
}

QV_API QVRESULT QVDirOpen(const QVWCHAR* path, QVDIR* dir) {
  if (dir == nullptr || path == nullptr) return QV_E_INVALIDARG;
  *dir = QV_INVALID_HANDLE;
  std::u16string_view text = file::PathText(qv::Wide(path));
  if (text.empty()) return QV_E_NOTFOUND;
  // Trailing separators name the same directory; a path of separators only is the root.
  size_t end = text.find_last_not_of(u'/');
  text = end == std::u16string_view::npos ? text.substr(0, 1) : text.substr(0, end + 1);
  void* search = os::OsDirSearchOpen(text);
  if (search == nullptr) return file::PathFailure();
  *dir = search;
  return QV_S_OK;
}

QV_API QVRESULT QVDirRead(QVDIR dir, QVDirEntry* entry) {
  if (entry == nullptr) return QV_E_INVALIDARG;
  os::DirEntryInfo info;
  if (!os::OsDirSearchNext(dir, &info)) return QVResultFromNative(os::LastError());
  size_t i = 0;
  for (; info.name[i] != 0 && i + 1 < std::size(entry->name); ++i) entry->name[i] = static_cast<WChar>(info.name[i]);
  entry->name[i] = 0;
  entry->shortName[0] = 0;
  uint32_t mode = QV_MODE_READ;
  if (info.directory) mode |= QV_MODE_DIRECTORY;
  if (!info.readOnly) mode |= QV_MODE_WRITE;
  entry->mode = mode;
  entry->sizeHigh = static_cast<uint32_t>(info.size >> 32);
  entry->sizeLow = static_cast<uint32_t>(info.size);
  entry->creationTime = Time32(info.creationTime);
  entry->accessTime = Time32(info.accessTime);
  entry->modificationTime = Time32(info.modificationTime);
  return QV_S_OK;
}

QV_API QVRESULT QVDirClose(QVDIR dir) {
  return os::OsDirSearchClose(dir) ? QV_S_OK : QVResultFromNative(os::LastError());
}

}  // extern "C"
