// Children with CreateProcessW. The command line is the program name (".exe"
// appended unless it ends so) and the argument text as given. The child gets
// inheritable copies of its three streams and nothing else: the copies are
// the whole handle list of its start, so handles other threads leave
// inheritable do not leak into it.
#include <windows.h>

#include <new>
#include <string>
#include <vector>

#include "os/os_error.h"
#include "os/os_file.h"
#include "os/os_handle.h"
#include "os/os_process.h"
#include "os/win32/file_handle.h"
#include "os/win32/file_name.h"

namespace qv::os {

namespace {

using win32::StoreNativeError;

class ChildObject final : public LibraryObject {
 public:
  explicit ChildObject(HANDLE process) noexcept : m_process(process) {}
  ~ChildObject() override { ::CloseHandle(m_process); }

  bool ReadState(bool* ended, uint32_t* code) noexcept {
    // The exit code alone cannot tell a child still running from one that
    // returned 259; the handle's signalled state can.
    DWORD waited = ::WaitForSingleObject(m_process, 0);
    if (waited == WAIT_FAILED) return StoreNativeError();
    *ended = waited == WAIT_OBJECT_0;
    *code = 0;
    if (!*ended) return true;
    DWORD exitCode = 0;
    if (!::GetExitCodeProcess(m_process, &exitCode)) return StoreNativeError();
    *code = exitCode;
    return true;
  }

  const HANDLE m_process;
};

LibraryObjectRef<ChildObject> ChildRef(void* process) noexcept { return ReferenceAs<ChildObject>(process); }

constexpr DWORD kStandardHandles[3] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};

// The inheritable copies made for one start; closed when it is over.
struct StreamCopies {
  HANDLE copies[3] = {nullptr, nullptr, nullptr};
  ~StreamCopies() {
    for (HANDLE h : copies)
      if (h != nullptr) ::CloseHandle(h);
  }
};

// The caller's own stream as an inheritable copy; null when it has none.
HANDLE OwnStreamCopy(DWORD which) noexcept {
  HANDLE own = ::GetStdHandle(which);
  if (own == nullptr || own == INVALID_HANDLE_VALUE) return nullptr;
  HANDLE self = ::GetCurrentProcess();
  HANDLE copy = nullptr;
  if (!::DuplicateHandle(self, own, self, &copy, 0, TRUE, DUPLICATE_SAME_ACCESS)) return nullptr;
  return copy;
}

bool HasBlank(std::u16string_view text) noexcept {
  return text.find_first_of(u" \t") != std::u16string_view::npos;
}

void* StartChecked(const ChildStartRequest& request) {
  if (request.program.empty()) {
    StoreLastError(kErrorFileNotFound);
    return nullptr;
  }
  std::wstring program;
  if (!win32::WidePath(request.program, program)) return nullptr;
  // Exact and case-sensitive, as designed: "TOOL.EXE" becomes "TOOL.EXE.exe".
  if (program.size() < 4 || program.compare(program.size() - 4, 4, L".exe") != 0) program += L".exe";
  // A name with blanks is quoted, so the child's own name stays one argument.
  std::wstring commandLine = HasBlank(request.program) ? L"\"" + program + L"\"" : program;
  if (request.argumentText != nullptr) {
    commandLine += L' ';
    commandLine += win32::AsWide(request.argumentText);
  }
  std::wstring directory;
  if (request.directory != nullptr) {
    if (!win32::WidePath(request.directory, directory)) {
      StoreLastError(kErrorNotADirectory);
      return nullptr;
    }
    DWORD attributes = ::GetFileAttributesW(directory.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      StoreLastError(kErrorNotADirectory);
      return nullptr;
    }
  }

  StreamCopies streams;
  HANDLE inherited[3];
  DWORD inheritedCount = 0;
  for (int i = 0; i < 3; ++i) {
    if (request.streams[i] != nullptr) {
      streams.copies[i] = static_cast<HANDLE>(win32::InheritableCopy(request.streams[i]));
      if (streams.copies[i] == nullptr) return nullptr;
    } else {
      streams.copies[i] = OwnStreamCopy(kStandardHandles[i]);
    }
    if (streams.copies[i] != nullptr) inherited[inheritedCount++] = streams.copies[i];
  }

  STARTUPINFOEXW info = {};
  ::GetStartupInfoW(&info.StartupInfo);
  info.StartupInfo.cb = sizeof info;
  // The runtime's private block describes the caller's descriptors, not the child's.
  info.StartupInfo.cbReserved2 = 0;
  info.StartupInfo.lpReserved2 = nullptr;
  info.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
  info.StartupInfo.hStdInput = streams.copies[0];
  info.StartupInfo.hStdOutput = streams.copies[1];
  info.StartupInfo.hStdError = streams.copies[2];

  SIZE_T listBytes = 0;
  ::InitializeProcThreadAttributeList(nullptr, 1, 0, &listBytes);
  std::vector<unsigned char> listMemory(listBytes);
  auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(listMemory.data());
  if (!::InitializeProcThreadAttributeList(list, 1, 0, &listBytes)) return StoreNativeError(), nullptr;
  struct ListGuard {
    LPPROC_THREAD_ATTRIBUTE_LIST list;
    ~ListGuard() { ::DeleteProcThreadAttributeList(list); }
  } listGuard{list};
  if (inheritedCount != 0 && !::UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited,
                                                          inheritedCount * sizeof(HANDLE), nullptr, nullptr))
    return StoreNativeError(), nullptr;
  info.lpAttributeList = list;

  std::wstring environment;
  if (request.environmentBlock != nullptr) {
    environment.assign(reinterpret_cast<const wchar_t*>(request.environmentBlock->data()),
                       request.environmentBlock->size());
    environment.append(2, L'\0');  // an empty block still ends in two zeros
  }
  std::vector<wchar_t> mutableLine(commandLine.begin(), commandLine.end());
  mutableLine.push_back(L'\0');
  PROCESS_INFORMATION started = {};
  DWORD flags = CREATE_UNICODE_ENVIRONMENT | EXTENDED_STARTUPINFO_PRESENT;
  BOOL ok = ::CreateProcessW(program.c_str(), mutableLine.data(), nullptr, nullptr, inheritedCount != 0, flags,
                             request.environmentBlock != nullptr ? environment.data() : nullptr,
                             request.directory != nullptr ? directory.c_str() : nullptr, &info.StartupInfo, &started);
  if (!ok) return StoreNativeError(), nullptr;
  ::CloseHandle(started.hThread);
  auto* child = new (std::nothrow) ChildObject(started.hProcess);
  if (child == nullptr) {
    ::TerminateProcess(started.hProcess, 1);
    ::CloseHandle(started.hProcess);
    StoreLastError(kErrorOutOfMemory);
    return nullptr;
  }
  child->AddRef();
  void* handle = InsertHandle(child);
  if (handle == nullptr) {
    // Never leave a started child untracked.
    ::TerminateProcess(child->m_process, 1);
    StoreLastError(kErrorOutOfMemory);
  }
  child->Release();
  return handle;
}

}  // namespace

void* ChildStart(const ChildStartRequest& request) noexcept {
  try {
    return StartChecked(request);
  } catch (...) {
    StoreLastError(kErrorOutOfMemory);
    return nullptr;
  }
}

void ChildAbandon(void* process) noexcept {
  if (LibraryObjectRef<ChildObject> child = ChildRef(process)) ::TerminateProcess(child->m_process, 1);
  HandleClose(process);
}

bool ChildExitState(void* process, bool* ended, uint32_t* code) noexcept {
  LibraryObjectRef<ChildObject> child = ChildRef(process);
  if (!child) return false;
  return child->ReadState(ended, code);
}

bool ChildAwaitEnd(void* process) noexcept {
  LibraryObjectRef<ChildObject> child = ChildRef(process);
  if (!child) return false;
  return ::WaitForSingleObject(child->m_process, INFINITE) != WAIT_FAILED || StoreNativeError();
}

bool ChildHandleClose(void* process) noexcept {
  if (!ChildRef(process)) return false;
  return HandleClose(process);
}

void* WakeSignalMake() noexcept {
  HANDLE event = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);  // auto reset: one report per raise
  if (event == nullptr) StoreNativeError();
  return event;
}

void WakeSignalRaise(void* wake) noexcept { ::SetEvent(static_cast<HANDLE>(wake)); }

void WakeSignalDispose(void* wake) noexcept {
  if (wake != nullptr) ::CloseHandle(static_cast<HANDLE>(wake));
}

namespace {

void CALLBACK ChildEnded(void* fired, BOOLEAN) { ::SetEvent(static_cast<HANDLE>(fired)); }

// More children than one wait can cover: each gets a wait of the thread pool
// that raises one shared event; the first ended child is then looked up.
bool AwaitAnyOfMany(const std::vector<HANDLE>& processes, HANDLE wake, size_t* index) {
  HANDLE fired = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (fired == nullptr) return StoreNativeError();
  std::vector<HANDLE> waits;
  waits.reserve(processes.size());
  bool ok = true;
  uint32_t error = 0;
  for (HANDLE process : processes) {
    HANDLE wait = nullptr;
    if (!::RegisterWaitForSingleObject(&wait, process, &ChildEnded, fired, INFINITE, WT_EXECUTEONLYONCE)) {
      error = win32::KeepSystemError();
      ok = false;
      break;
    }
    waits.push_back(wait);
  }
  DWORD waited = WAIT_FAILED;
  if (ok) {
    HANDLE both[2] = {fired, wake};
    waited = ::WaitForMultipleObjects(2, both, FALSE, INFINITE);
    if (waited == WAIT_FAILED) error = win32::KeepSystemError();
  }
  for (HANDLE wait : waits) ::UnregisterWaitEx(wait, INVALID_HANDLE_VALUE);  // callbacks done
  ::CloseHandle(fired);
  if (waited == WAIT_OBJECT_0 + 1) {
    *index = processes.size();
    return true;
  }
  if (waited == WAIT_OBJECT_0) {
    for (size_t i = 0; i < processes.size(); ++i) {
      if (::WaitForSingleObject(processes[i], 0) == WAIT_OBJECT_0) {
        *index = i;
        return true;
      }
    }
  }
  StoreLastError(error != 0 ? error : uint32_t{kErrorGenFailure});
  return false;
}

}  // namespace

bool ChildAwaitAny(const std::vector<void*>& children, void* wake, size_t* index) noexcept {
  try {
    std::vector<LibraryObjectRef<ChildObject>> refs;
    std::vector<HANDLE> handles;
    refs.reserve(children.size());
    handles.reserve(children.size() + 1);
    for (size_t i = 0; i < children.size(); ++i) {
      refs.push_back(ChildRef(children[i]));
      if (!refs.back()) {
        *index = i;  // closed meanwhile
        return true;
      }
      handles.push_back(refs.back()->m_process);
    }
    if (children.size() + 1 > MAXIMUM_WAIT_OBJECTS) return AwaitAnyOfMany(handles, static_cast<HANDLE>(wake), index);
    handles.push_back(static_cast<HANDLE>(wake));
    DWORD count = static_cast<DWORD>(handles.size());
    DWORD waited = ::WaitForMultipleObjects(count, handles.data(), FALSE, INFINITE);
    if (waited >= WAIT_OBJECT_0 + count) return StoreNativeError();
    *index = waited - WAIT_OBJECT_0;
    return true;
  } catch (...) {
    StoreLastError(kErrorOutOfMemory);
    return false;
  }
}

bool PipeMake(void** readEnd, void** writeEnd) noexcept {
  *readEnd = *writeEnd = nullptr;
  HANDLE reader = nullptr, writer = nullptr;
  // A larger buffer lets a child write ahead of a reader that takes big blocks.
  if (!::CreatePipe(&reader, &writer, nullptr, 1 << 20)) return StoreNativeError();
  *readEnd = win32::PublishSystemHandle(reader, kFileAccessRead);
  if (*readEnd == nullptr) {
    ::CloseHandle(writer);
    return false;
  }
  *writeEnd = win32::PublishSystemHandle(writer, kFileAccessWrite);
  if (*writeEnd == nullptr) {
    uint32_t error = LastError();
    HandleClose(*readEnd);
    *readEnd = nullptr;
    StoreLastError(error);
    return false;
  }
  return true;
}

uint32_t OwnProcessIdentifier() noexcept { return ::GetCurrentProcessId(); }

}  // namespace qv::os
