// Helpers shared by the test suites.
#pragma once
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "qvcore5/qv_base.h"

namespace qvtest {

// A fresh private directory, removed with its contents on destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return m_path; }
  std::string File(const std::string& name) const { return m_path + "/" + name; }

 private:
  std::string m_path;
};

// The registry store of one test, empty at first and removed at the end: a
// store folder on POSIX; on Windows a fresh key below
// HKCU\Software\qvcore5-test-<pid>-<n> that stands in for the user, machine
// and classes roots of this process while it lives.
class ScratchRegistry {
 public:
  ScratchRegistry();
  ~ScratchRegistry();
  ScratchRegistry(const ScratchRegistry&) = delete;
  ScratchRegistry& operator=(const ScratchRegistry&) = delete;

 private:
#if defined(_WIN32)
  std::wstring m_key;
#else
  TempDir m_dir;
#endif
};

// A name no other test process uses: prefix + pid + counter.
std::string UniqueName(const std::string& prefix);

// Captures everything written to file descriptor 2 while it lives.
class StderrCapture {
 public:
  StderrCapture();
  ~StderrCapture();
  // Stops capturing (if still capturing) and returns what was written.
  std::string Finish();

 private:
  int m_savedFd = -1;
  std::string m_path;
  bool m_done = false;
};

std::u16string U16(const char16_t* s);

// Sets an environment variable (nullptr unsets it) and restores it on destruction.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;
  void Set(const char* value);

 private:
  std::string m_name;
  std::optional<std::string> m_saved;
};

// Sets the error alert method and restores the previous one on destruction.
class ScopedAlertMethod {
 public:
  explicit ScopedAlertMethod(uint32_t method);
  ~ScopedAlertMethod();

 private:
  uint32_t m_old;
};

// How many breakpoint traps `body` raised.
int CountTraps(const std::function<void()>& body);

// The names of the mutexes the library's provider made while `body` ran.
std::vector<std::string> MutexesCreatedBy(const std::function<void()>& body);

std::string ReadFile(const std::string& path);

// Polls `condition` until it holds or `limit` has passed; returns whether it
// held. Tests wait for explicit states with it instead of sleeping.
bool WaitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds limit = std::chrono::seconds(10));

// Whether a thread is blocked waiting for the platform lock behind
// QVMutexGetOSMutex (the futex word of a glibc mutex reads 2 then).
bool LockHasWaiter(void* nativeMutex);

// Memory aligned to `alignment`, freed with AlignedFree.
void* AlignedAlloc(size_t alignment, size_t size);
void AlignedFree(void* block);

}  // namespace qvtest

#if defined(_WIN32)
// The POSIX environment calls the tests use, on the runtime's _putenv_s
// (which also changes the process environment); an empty value unsets.
int setenv(const char* name, const char* value, int overwrite);
int unsetenv(const char* name);
#endif
