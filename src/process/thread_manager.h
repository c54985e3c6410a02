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

}  // namespace qv::process
