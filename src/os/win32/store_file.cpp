// The store lock is a named mutex in the machine's namespace: a holder that
// dies without giving it up leaves it abandoned, and the next waiter gets it
// (WAIT_ABANDONED), as the contract asks. Replacing is MoveFileExW, which
// swaps the name in one step.
#include <windows.h>

#include <sddl.h>

#include <new>
#include <string>

#include "os/os_error.h"
#include "os/os_store_file.h"
#include "os/win32/file_name.h"

namespace qv::os {

namespace {

// Longest object name the platform takes, terminator excluded.
constexpr size_t kMaxLockName = MAX_PATH - 1;

// "Global\qvcore5.LCK." and the name's bytes; a backslash is the namespace
// separator, so it and the escape are written as "%XX".
bool LockName(std::string_view name, std::wstring& out) {
  static constexpr wchar_t kHex[] = L"0123456789ABCDEF";
  if (name.empty()) {
    StoreLastError(kErrorInvalidParameter);
    return false;
  }
  out = L"Global\\qvcore5.LCK.";
  for (char c : name) {
    auto byte = static_cast<unsigned char>(c);
    if (byte == '\\' || byte == '%' || byte < 0x20 || byte >= 0x7F) {
      out += L'%';
      out += kHex[byte >> 4];
      out += kHex[byte & 0xF];
    } else {
      out += static_cast<wchar_t>(byte);
    }
  }
  if (out.size() > kMaxLockName) {
    StoreLastError(kErrorFilenameTooLong);
    return false;
  }
  return true;
}

// Every signed-in user may wait for and give up the lock, so processes of
// several users share one store; only the system and administrators may do more.
PSECURITY_DESCRIPTOR SharedLockDescriptor() noexcept {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(A;;0x00100001;;;AU)(A;;GA;;;SY)(A;;GA;;;BA)",
                                                              SDDL_REVISION_1, &descriptor, nullptr))
    return nullptr;
  return descriptor;
}

constexpr int64_t kUnixEpochIn100ns = 116444736000000000LL;

int64_t Nanoseconds(int64_t ticks) noexcept { return (ticks - kUnixEpochIn100ns) * 100; }

}  // namespace

struct StoreLock::Impl {
  HANDLE mutex;
};

StoreLock* StoreLock::Open(std::string_view name) noexcept {
  std::wstring mapped;
  try {
    if (!LockName(name, mapped)) return nullptr;
  } catch (const std::bad_alloc&) {
    StoreLastError(kErrorNotEnoughMemory);
    return nullptr;
  }
  PSECURITY_DESCRIPTOR descriptor = SharedLockDescriptor();
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor, FALSE};
  HANDLE mutex = ::CreateMutexW(descriptor != nullptr ? &attributes : nullptr, FALSE, mapped.c_str());
  if (mutex == nullptr && ::GetLastError() == ERROR_ACCESS_DENIED) {
    // Made by another user: open it with just the rights the lock needs.
    mutex = ::OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, mapped.c_str());
  }
  uint32_t error = mutex == nullptr ? win32::KeepSystemError() : 0;
  if (descriptor != nullptr) ::LocalFree(descriptor);
  if (mutex == nullptr) {
    StoreLastError(error);
    return nullptr;
  }
  Impl* impl = new (std::nothrow) Impl{mutex};
  StoreLock* lock = impl ? new (std::nothrow) StoreLock(impl) : nullptr;
  if (lock == nullptr) {
    delete impl;
    ::CloseHandle(mutex);
    StoreLastError(kErrorNotEnoughMemory);
  }
  return lock;
}

StoreLock::~StoreLock() {
  ::CloseHandle(m_impl->mutex);
  delete m_impl;
}

void StoreLock::Take() noexcept {
  // WAIT_ABANDONED: the last holder died holding it; the lock is ours now.
  ::WaitForSingleObject(m_impl->mutex, INFINITE);
}

void StoreLock::Give() noexcept { ::ReleaseMutex(m_impl->mutex); }

bool OsFileStampOf(std::u16string_view path, FileStamp* stamp) noexcept {
  std::wstring name;
  if (!win32::WidePath(path, name)) return false;
  // No access asked: the stamp is read even while another opener denies reading.
  HANDLE handle = ::CreateFileW(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return win32::StoreNativeError();
  BY_HANDLE_FILE_INFORMATION info;
  FILE_BASIC_INFO basic;
  bool ok = ::GetFileInformationByHandle(handle, &info);
  uint32_t error = ok ? 0 : win32::KeepSystemError();
  bool haveBasic = ok && ::GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic);
  ::CloseHandle(handle);
  if (!ok) {
    StoreLastError(error);
    return false;
  }
  stamp->device = info.dwVolumeSerialNumber;
  stamp->fileNumber = (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
  stamp->size = (uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
  int64_t written = static_cast<int64_t>((uint64_t{info.ftLastWriteTime.dwHighDateTime} << 32) |
                                         info.ftLastWriteTime.dwLowDateTime);
  stamp->modifiedNs = Nanoseconds(written);
  stamp->changedNs = haveBasic ? Nanoseconds(basic.ChangeTime.QuadPart) : stamp->modifiedNs;
  stamp->directory = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  return true;
}

bool OsFileReplaceWith(std::u16string_view from, std::u16string_view to) noexcept {
  std::wstring nativeFrom, nativeTo;
  if (!win32::WidePath(from, nativeFrom) || !win32::WidePath(to, nativeTo)) return false;
  return ::MoveFileExW(nativeFrom.c_str(), nativeTo.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) ||
         win32::StoreNativeError();
}

}  // namespace qv::os
