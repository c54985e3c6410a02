#include "support/test_support.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

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
  std::string pattern = (std::filesystem::temp_directory_path() / "qvtest-XXXXXX").string();
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (mkdtemp(buffer.data()) == nullptr) std::abort();
  m_path = buffer.data();
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(m_path, ec);
}

std::string UniqueName(const std::string& prefix) {
  static std::atomic<int> counter{0};
  return prefix + "-" + std::to_string(getpid()) + "-" + std::to_string(counter++);
}

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
  value ? setenv(m_name.c_str(), value, 1) : unsetenv(m_name.c_str());
}

ScopedAlertMethod::ScopedAlertMethod(uint32_t method) : m_old(qv::core::AlertMethod()) {
  QVErrorAlertSetMethod(method);
}

ScopedAlertMethod::~ScopedAlertMethod() { QVErrorAlertSetMethod(m_old); }

namespace {
std::atomic<int> s_traps{0};
void OnTrap(int) { s_traps.fetch_add(1); }
std::vector<std::string>* s_created = nullptr;
}  // namespace

int CountTraps(const std::function<void()>& body) {
  struct sigaction sa = {}, old = {};
  sa.sa_handler = OnTrap;
  sigaction(SIGTRAP, &sa, &old);
  int before = s_traps.load();
  body();
  sigaction(SIGTRAP, &old, nullptr);
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
  auto* m = static_cast<pthread_mutex_t*>(nativeMutex);
  return __atomic_load_n(&m->__data.__lock, __ATOMIC_ACQUIRE) > 1;
}

}  // namespace qvtest
