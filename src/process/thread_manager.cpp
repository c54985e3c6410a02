#include "process/thread_manager.h"

#include <atomic>

#include "base/exception.h"
#include "base/installed.h"
#include "base/mutex_guard.h"
#include "os/os_clock.h"
#include "os/os_error.h"
#include "os/os_handle.h"
#include "os/os_thread.h"
#include "os/os_thread_handle.h"

namespace qv::process {

namespace {

// Holds one record reference for a scope.
class DataRef {
 public:
  explicit DataRef(CQVThreadData* data) noexcept : m_data(data) {}
  ~DataRef() {
    if (m_data != nullptr) m_data->ReleaseReference();
  }
  DataRef(const DataRef&) = delete;
  DataRef& operator=(const DataRef&) = delete;
  CQVThreadData* operator->() const noexcept { return m_data; }
  explicit operator bool() const noexcept { return m_data != nullptr; }

 private:
  CQVThreadData* m_data;
};


// Both sequentially consistent: a marking thread raises the count before it
// reads the flag, the end sets the flag before it reads the count, so either
// the thread sees the end and skips, or the end sees the thread and waits.
std::atomic<int32_t> s_marksUnderWay{0};
std::atomic<bool> s_ending{false};

constexpr uint64_t kEndWaitMs = 1000;

}  // namespace

CQVThreadManager::CQVThreadManager() : m_mapMutex(reinterpret_cast<QVMUTEX>(QV_INVALID_HANDLE)) {
  // Without its mutex the manager could not keep its map consistent, so a
  // failure stops the library's start instead of running unlocked.
  base::ThrowIfFailed(QVMutexCreate("CQVThreadManager::m_mapMutex", 0, &m_mapMutex));
  try {
    Add(os::CurrentThreadId(), os::CurrentThreadPseudoHandle());
  } catch (...) {
    QVMutexDestroy(m_mapMutex);
    throw;
  }
}

CQVThreadManager::~CQVThreadManager() {
  QVMutexDestroy(m_mapMutex);
  // Handles of threads never joined or detached stay open: those threads may
  // still run and are left to the process's end.
  for (auto& entry : m_threads) entry.second->ReleaseReference();
}

void CQVThreadManager::Add(uint32_t id, QVHANDLE handle) {
  auto* data = new CQVThreadData(handle);
  data->AddReference();
  CQVThreadData* replaced = nullptr;
  {
    base::MutexGuard guard(m_mapMutex);
    try {
      auto [it, inserted] = m_threads.try_emplace(id, data);
      if (!inserted) {
        replaced = it->second;
        it->second = data;
      }
    } catch (...) {
      data->ReleaseReference();
      throw;
    }
  }
  if (replaced != nullptr) {
    // The identifier was given to a new thread, so the old one has ended
    // without being joined: close its handle rather than lose it.
    if (replaced->m_handle != os::CurrentThreadPseudoHandle()) os::HandleClose(replaced->m_handle);
    replaced->ReleaseReference();
  }
}

CQVThreadData* CQVThreadManager::Lookup(uint32_t id) {
  base::MutexGuard guard(m_mapMutex);
  auto it = m_threads.find(id);
  if (it == m_threads.end()) return nullptr;
  it->second->AddReference();
  return it->second;
}

void CQVThreadManager::Mark(uint32_t id, uint8_t CQVThreadData::*flag) {
  base::MutexGuard guard(m_mapMutex);
  DataRef data(Lookup(id));
  if (!data) return;
  data.operator->()->*flag = 1;
  if (data->m_released && data->m_finished) {
    base::MutexGuard again(m_mapMutex);
    auto it = m_threads.find(id);
    if (it != m_threads.end() && it->second == data.operator->()) {
      m_threads.erase(it);
      data->ReleaseReference();  // the map's reference; the lookup's goes with `data`
    }
  }
}

QVRESULT CQVThreadManager::Join(uint32_t id, uint32_t* exitCode) {
  if (exitCode != nullptr) *exitCode = 0;
  DataRef data(Lookup(id));
  if (!data) return QV_E_HANDLE;
  QVHANDLE handle = data->m_handle;
  if (!os::WaitForThread(handle)) return base::LastErrorResult();
  if (exitCode != nullptr) {
    uint32_t code = 0;
    if (os::ThreadExitCode(handle, &code)) *exitCode = code;
  }
  QVRESULT result = os::HandleClose(handle) ? QV_S_OK : base::LastErrorResult();
  MarkReleased(id);
  return result;
}

QVRESULT CQVThreadManager::Detach(uint32_t id) {
  QVHANDLE handle;
  {
    DataRef data(Lookup(id));
    if (!data) return QV_E_HANDLE;
    handle = data->m_handle;
  }
  QVRESULT result = os::HandleClose(handle) ? QV_S_OK : base::LastErrorResult();
  MarkReleased(id);
  return result;
}

bool CQVThreadManager::IsFinished(uint32_t id) {
  base::MutexGuard guard(m_mapMutex);
  DataRef data(Lookup(id));
  return !data || (data->m_released && data->m_finished);
}

size_t CQVThreadManager::TrackedCount() {
  base::MutexGuard guard(m_mapMutex);
  return m_threads.size();
}

void MarkFinishedUnlessEnding(uint32_t id) {
  s_marksUnderWay.fetch_add(1);
  struct Done {
    ~Done() { s_marksUnderWay.fetch_sub(1); }
  } done;
  if (s_ending.load()) return;
  if (CQVThreadManager* manager = ThreadManager()) manager->MarkFinished(id);
}

void AllowFinishing() noexcept { s_ending.store(false); }

bool StopFinishing() noexcept {
  s_ending.store(true);
  uint64_t deadline = 0;
  for (int round = 0; s_marksUnderWay.load() != 0; ++round) {
    // A mark takes microseconds unless another thread holds the map's mutex.
    if (round < 64) {
      os::YieldThread();
      continue;
    }
    uint64_t now = os::TickCount64();
    if (deadline == 0) deadline = now + kEndWaitMs;
    else if (now >= deadline) return false;
    os::SleepMs(1);
  }
  return true;
}

CQVThreadManager* ThreadManager() noexcept {
  return base::Installed<CQVThreadManager>::Get();
}

}  // namespace qv::process
