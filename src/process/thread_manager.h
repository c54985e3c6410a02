// Tracks the threads started through QVThreadCreate until their end has been
// observed: one record per thread identifier, alive until the owner has
// joined or detached the thread and its start routine has returned.
#pragma once
#include <cstddef>
#include <cstdint>
#include <map>

#include "base/refcounted.h"
#include "qvcore5/qv_mutex.h"

namespace qv::process {

class CQVThreadData : public base::CQVCoreRefCounted {
 public:
  explicit CQVThreadData(QVHANDLE handle) noexcept : m_handle(handle) {}

  QVHANDLE m_handle;
  // Both written and read under the manager's mutex.
  uint8_t m_released = 0;  // joined or detached by the owner
  uint8_t m_finished = 0;  // the start routine has returned
};

class CQVThreadManager {
 public:
  // Registers the calling thread, which never finishes in the manager's eyes.
  CQVThreadManager();
  ~CQVThreadManager();
  CQVThreadManager(const CQVThreadManager&) = delete;
  CQVThreadManager& operator=(const CQVThreadManager&) = delete;

  // Adds a record, replacing any record held under the same identifier.
  void Add(uint32_t id, QVHANDLE handle);
  // A new reference to the record, or null.
  CQVThreadData* Lookup(uint32_t id);
  void MarkReleased(uint32_t id) { Mark(id, &CQVThreadData::m_released); }
  void MarkFinished(uint32_t id) { Mark(id, &CQVThreadData::m_finished); }

  QVRESULT Join(uint32_t id, uint32_t* exitCode);
  QVRESULT Detach(uint32_t id);
  bool IsFinished(uint32_t id);

  // Records held (for tests).
  size_t TrackedCount();

 private:
  void Mark(uint32_t id, uint8_t CQVThreadData::*flag);

  QVMUTEX m_mapMutex;
  std::map<uint32_t, CQVThreadData*> m_threads;  // each entry holds one reference
};

// The process's thread manager, or null outside the library's start and end.
CQVThreadManager* ThreadManager() noexcept;

// A thread started by QVThreadCreate marks itself finished after its routine,
// possibly while the library ends (threads are not stopped before it, as they
// are on Windows). Marks the calling thread finished unless the end has
// begun; the end waits for such marks already under way.
void MarkFinishedUnlessEnding(uint32_t id);
// Called by the start: library threads may mark themselves again.
void AllowFinishing() noexcept;
// Called by the end before the thread manager goes: no mark starts after it.
// False when marks under way did not end within about a second; the manager
// must then be left alive.
bool StopFinishing() noexcept;

}  // namespace qv::process
