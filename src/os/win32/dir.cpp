// Directory listings with FindFirstFileExW (basic information: no short
// names). The first entry comes with the search's start, so it is kept for
// the first step.
#include <windows.h>

#include <mutex>
#include <new>
#include <string>

#include "os/os_error.h"
#include "os/os_file.h"
#include "os/os_handle.h"
#include "os/win32/file_name.h"

namespace qv::os {

namespace {

class DirSearch final : public LibraryObject {
 public:
  DirSearch(HANDLE search, const WIN32_FIND_DATAW& first) noexcept : m_search(search), m_pending(first) {}
  ~DirSearch() override { ::FindClose(m_search); }

  const HANDLE m_search;
  std::mutex m_mutex;  // one reader of the search at a time
  WIN32_FIND_DATAW m_pending;
  bool m_hasPending = true;
  bool m_ended = false;
};

constexpr int64_t kUnixEpochIn100ns = 116444736000000000LL;

int64_t Seconds(const FILETIME& time) noexcept {
  int64_t ticks = static_cast<int64_t>((uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime);
  if (ticks == 0) return 0;  // the file system keeps no such time
  return (ticks - kUnixEpochIn100ns) / 10000000;
}

void Describe(const WIN32_FIND_DATAW& data, DirEntryInfo* entry) noexcept {
  size_t i = 0;
  for (; data.cFileName[i] != 0 && i + 1 < std::size(entry->name); ++i) entry->name[i] = static_cast<char16_t>(data.cFileName[i]);
  entry->name[i] = 0;
  entry->directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  entry->readOnly = (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
  entry->size = (uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
  entry->creationTime = Seconds(data.ftCreationTime);
  entry->accessTime = Seconds(data.ftLastAccessTime);
  entry->modificationTime = Seconds(data.ftLastWriteTime);
}

bool IsSeparator(wchar_t c) noexcept { return c == L'\\' || c == L'/'; }

}  // namespace

void* OsDirSearchOpen(std::u16string_view path) noexcept {
  std::wstring pattern;
  if (!win32::WidePath(path, pattern)) return nullptr;
  try {
    // A bare drive ("C:") means its current directory; otherwise trailing
    // separators name the same directory, and separators alone the root.
    if (pattern.back() == L':') {
      pattern += L'*';
    } else {
      while (!pattern.empty() && IsSeparator(pattern.back())) pattern.pop_back();
      pattern += L"\\*";
    }
  } catch (const std::bad_alloc&) {
    StoreLastError(kErrorOutOfMemory);
    return nullptr;
  }
  WIN32_FIND_DATAW first;
  HANDLE search = ::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &first, FindExSearchNameMatch, nullptr, 0);
  if (search == INVALID_HANDLE_VALUE) {
    uint32_t error = win32::KeepSystemError();
    if (error == ERROR_INVALID_NAME || error == ERROR_DIRECTORY) {
      // A file named as a folder: its path does not lead to a directory.
      DWORD attributes = ::GetFileAttributesW(pattern.substr(0, pattern.size() - 2).c_str());
      if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        StoreLastError(kErrorPathNotFound);
      else
        StoreLastError(error);
    }
    return nullptr;
  }
  auto* object = new (std::nothrow) DirSearch(search, first);
  if (object == nullptr) {
    ::FindClose(search);
    StoreLastError(kErrorOutOfMemory);
    return nullptr;
  }
  return InsertHandle(object);
}

bool OsDirSearchNext(void* handle, DirEntryInfo* entry) noexcept {
  LibraryObjectRef<DirSearch> search = ReferenceAs<DirSearch>(handle);
  if (!search) return false;
  std::lock_guard<std::mutex> guard(search->m_mutex);
  if (search->m_hasPending) {
    search->m_hasPending = false;
    Describe(search->m_pending, entry);
    return true;
  }
  if (search->m_ended) {
    StoreLastError(kErrorNoMoreFiles);
    return false;
  }
  WIN32_FIND_DATAW data;
  if (!::FindNextFileW(search->m_search, &data)) {
    uint32_t error = win32::KeepSystemError();
    if (error == kErrorNoMoreFiles) search->m_ended = true;
    return false;
  }
  Describe(data, entry);
  return true;
}

bool OsDirSearchClose(void* handle) noexcept {
  if (!ReferenceAs<DirSearch>(handle)) return false;
  return HandleClose(handle);
}

}  // namespace qv::os
