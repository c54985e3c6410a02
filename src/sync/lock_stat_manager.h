// The registry of measured mutexes, live and destroyed, behind the
// statistics exports. One per process, built and torn down with the library.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>

#include "sync/mutex.h"

namespace qv::sync {

class CQVLockStatManager {
 public:
  enum : int32_t { kLiveMutex = 0, kDestroyedMutex = 4 };

  // Creates "CQVLockStatManager::m_mutex"; throws when that fails.
  CQVLockStatManager();
  // Drops every entry (releasing the destroyed mutexes) and the own mutex.
  ~CQVLockStatManager();
  CQVLockStatManager(const CQVLockStatManager&) = delete;
  CQVLockStatManager& operator=(const CQVLockStatManager&) = delete;

  // Takes no reference. Throws std::bad_alloc.
  void Register(int32_t kind, CQVMutex* mutex);
  // Moves the mutex from live to destroyed, keeping the caller's reference.
  // False when it could not be kept: the caller then releases it itself.
  bool Retire(CQVMutex* mutex) noexcept;
  // Clears every live mutex's numbers and lets go of the destroyed ones.
  void Reset() noexcept;
  // Appends the report to the file; throws on any stream failure. Returns 0
  // or the code of a failed time-stamp conversion (the report is written).
  QVRESULT Dump(const char* label, std::u16string_view fileName);

  size_t EntryCount();

 private:
  // Ordered by kind as a signed number, then by address.
  using Key = std::pair<int32_t, uintptr_t>;

  QVMUTEX m_mutex;
  std::map<Key, CQVMutex*> m_entries;
};

// The label of an entry kind in the report.
const char* LockStatKindLabel(int32_t kind) noexcept;

}  // namespace qv::sync
