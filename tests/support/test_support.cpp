#include "support/test_support.h"

#include <fcntl.h>
#if defined(_WIN32)
#include <windows.h>
#include <io.h>
#include <process.h>
#else
#include <pthread.h>
#include <signal.h>
#include <unistd.h>
#endif

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "core/diag.h"
#include "qvcore5/qvcore.h"
#include "sync/mutex.h"

namespace qvtest {

TempDir::TempDir() {
#if defined(_WIN32)
  // No mkdtemp: a name made unique by process, time and counter, created
  // exclusively (create_directory fails when it exists).
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    auto candidate = std::filesystem::temp_directory_path() /
                     ("qvtest-" + std::to_string(_getpid()) + "-" + std::to_string(GetTickCount64()) + "-" +
                      std::to_string(counter++));
    std::error_code ec;
    if (std::filesystem::create_directory(candidate, ec)) {
      m_path = candidate.generic_string();
      return;
    }
  }
  std::abort();
#else
  std::string pattern = (std::filesystem::temp_directory_path() / "qvtest-XXXXXX").string();
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (mkdtemp(buffer.data()) == nullptr) std::abort();
  m_path = buffer.data();
#endif
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(m_path, ec);
}

#if defined(_WIN32)
ScratchRegistry::ScratchRegistry()
    : m_key(L"Software\\qvcore5-test-" + std::to_wstring(_getpid()) + L"-" + std::to_wstring(GetTickCount64())) {
  const struct { HKEY root; const wchar_t* below; } stands[] = {
      {HKEY_CURRENT_USER, L"\\user"}, {HKEY_LOCAL_MACHINE, L"\\machine"},
      {HKEY_CLASSES_ROOT, L"\\machine\\Software\\Classes"}};
  HKEY keys[std::size(stands)];
  for (size_t i = 0; i < std::size(stands); ++i)  // all made before the first root moves
    if (RegCreateKeyExW(HKEY_CURRENT_USER, (m_key + stands[i].below).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &keys[i], nullptr) != ERROR_SUCCESS)
      std::abort();
  // Wine reads the computer name (and so the user name) below the machine
  // root: the scratch machine store carries a copy.
  const wchar_t kComputerName[] = L"System\\CurrentControlSet\\Control\\ComputerName";
  HKEY copy;
  if (RegCreateKeyExW(keys[1], kComputerName, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &copy, nullptr) == ERROR_SUCCESS) {
    RegCopyTreeW(HKEY_LOCAL_MACHINE, kComputerName, copy);
    RegCloseKey(copy);
  }
  for (size_t i = 0; i < std::size(stands); ++i) {
    LSTATUS status = RegOverridePredefKey(stands[i].root, keys[i]);
    RegCloseKey(keys[i]);
    if (status != ERROR_SUCCESS) std::abort();
  }
}

ScratchRegistry::~ScratchRegistry() {
  for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_CLASSES_ROOT}) RegOverridePredefKey(root, nullptr);
  RegDeleteTreeW(HKEY_CURRENT_USER, m_key.c_str());
  RegDeleteKeyW(HKEY_CURRENT_USER, m_key.c_str());
}
#else
ScratchRegistry::ScratchRegistry() { setenv("QV_REGISTRY_DIR", m_dir.path().c_str(), 1); }
ScratchRegistry::~ScratchRegistry() { unsetenv("QV_REGISTRY_DIR"); }
#endif

std::string UniqueName(const std::string& prefix) {
  static std::atomic<int> counter{0};
#if defined(_WIN32)
  const int pid = _getpid();
#else
  const int pid = getpid();
#endif
  return prefix + "-" + std::to_string(pid) + "-" + std::to_string(counter++);
}

#if defined(_WIN32)
StderrCapture::StderrCapture() {
  m_path = (std::filesystem::temp_directory_path() / (UniqueName("qvstderr") + ".txt")).string();
  int fd = _open(m_path.c_str(), _O_CREAT | _O_EXCL | _O_RDWR | _O_BINARY, 0600);
  if (fd < 0) std::abort();
  std::fflush(stderr);
  m_savedFd = _dup(2);
  _dup2(fd, 2);
  _close(fd);
}

StderrCapture::~StderrCapture() {
  Finish();
  _unlink(m_path.c_str());
}

std::string StderrCapture::Finish() {
  if (!m_done) {
    std::fflush(stderr);
    _dup2(m_savedFd, 2);
    _close(m_savedFd);
    m_done = true;
  }
  return ReadFile(m_path);
}
#else
StderrCapture::StderrCapture() {
  char pattern[] = "/tmp/qvstderr-XXXXXX";
  int fd = mkstemp(pattern);
  if (fd < 0) std::abort();
  m_path = pattern;
  std::fflush(stderr);
  m_savedFd = dup(2);
  dup2(fd, 2);
  close(fd);
}

StderrCapture::~StderrCapture() {
  Finish();
  unlink(m_path.c_str());
}

std::string StderrCapture::Finish() {
  if (!m_done) {
    std::fflush(stderr);
    dup2(m_savedFd, 2);
    close(m_savedFd);
    m_done = true;
  }
  return ReadFile(m_path);
}
#endif

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

ScopedEnv::ScopedEnv(const char* name, const char* value) : m_name(name) {
  if (const char* old = std::getenv(name)) m_saved = old;
  Set(value);
}

ScopedEnv::~ScopedEnv() { Set(m_saved ? m_saved->c_str() : nullptr); }

void ScopedEnv::Set(const char* value) {
#if defined(_WIN32)
  // Changes the runtime's copy and the process environment alike; the
  // runtime cannot hold an empty value, so "" unsets there.
  _putenv_s(m_name.c_str(), value ? value : "");
#else
  value ? setenv(m_name.c_str(), value, 1) : unsetenv(m_name.c_str());
#endif
}

ScopedAlertMethod::ScopedAlertMethod(uint32_t method) : m_old(qv::core::AlertMethod()) {
  QVErrorAlertSetMethod(method);
}

ScopedAlertMethod::~ScopedAlertMethod() { QVErrorAlertSetMethod(m_old); }

namespace {
std::atomic<int> s_traps{0};
std::vector<std::string>* s_created = nullptr;
#if defined(_WIN32)
// Counts a breakpoint and resumes after its one-byte int3.
LONG CALLBACK OnBreakpoint(EXCEPTION_POINTERS* info) {
  if (info->ExceptionRecord->ExceptionCode != EXCEPTION_BREAKPOINT) return EXCEPTION_CONTINUE_SEARCH;
  s_traps.fetch_add(1);
#if defined(_M_X64) || defined(__x86_64__)
  info->ContextRecord->Rip = reinterpret_cast<DWORD64>(info->ExceptionRecord->ExceptionAddress) + 1;
#else
  info->ContextRecord->Eip = reinterpret_cast<DWORD>(info->ExceptionRecord->ExceptionAddress) + 1;
#endif
  return EXCEPTION_CONTINUE_EXECUTION;
}
#else
void OnTrap(int) { s_traps.fetch_add(1); }
#endif
}  // namespace

int CountTraps(const std::function<void()>& body) {
  int before = s_traps.load();
#if defined(_WIN32)
  void* handler = AddVectoredExceptionHandler(1, &OnBreakpoint);
  body();
  RemoveVectoredExceptionHandler(handler);
#else
  struct sigaction sa = {}, old = {};
  sa.sa_handler = OnTrap;
  sigaction(SIGTRAP, &sa, &old);
  body();
  sigaction(SIGTRAP, &old, nullptr);
#endif
  return s_traps.load() - before;
}

std::vector<std::string> MutexesCreatedBy(const std::function<void()>& body) {
  std::vector<std::string> created;
  s_created = &created;
  qv::sync::CQVMutexProvider::SetCreationObserver([](const char* name) { s_created->push_back(name); });
  body();
  qv::sync::CQVMutexProvider::SetCreationObserver(nullptr);
  s_created = nullptr;
  return created;
}

std::u16string U16(const char16_t* s) { return s ? std::u16string(s) : std::u16string(); }

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
  auto end = std::chrono::steady_clock::now() + limit;
  for (;;) {
    if (condition()) return true;
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::yield();
  }
}

bool LockHasWaiter(void* nativeMutex) {
#if defined(_WIN32)
  // The critical section's lock count: Wine counts the threads that want
  // the lock beyond the owner (> 0 with a waiter); Windows counts waiters in
  // steps of -4 below -2 (locked, none waiting).
  LONG count = __atomic_load_n(&static_cast<CRITICAL_SECTION*>(nativeMutex)->LockCount, __ATOMIC_ACQUIRE);
  return count > 0 || count < -2;
#else
  auto* m = static_cast<pthread_mutex_t*>(nativeMutex);
  return __atomic_load_n(&m->__data.__lock, __ATOMIC_ACQUIRE) > 1;
#endif
}

void* AlignedAlloc(size_t alignment, size_t size) {
#if defined(_WIN32)
  return _aligned_malloc(size, alignment);
#else
  return std::aligned_alloc(alignment, size);
#endif
}

void AlignedFree(void* block) {
#if defined(_WIN32)
  _aligned_free(block);
#else
  std::free(block);
#endif
}

}  // namespace qvtest

#if defined(_WIN32)
int setenv(const char* name, const char* value, int overwrite) {
  if (!overwrite && std::getenv(name) != nullptr) return 0;
  if (_putenv_s(name, value) != 0) return -1;
  // The runtime drops an empty value; the process environment keeps it.
  return value[0] != '\0' || SetEnvironmentVariableA(name, "") ? 0 : -1;
}
int unsetenv(const char* name) { return _putenv_s(name, "") == 0 ? 0 : -1; }
#endif
