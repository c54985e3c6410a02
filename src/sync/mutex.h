// Mutex classes: the interface, the named base, the plain implementation over
// the platform's recursive critical section, and the checked implementation
// that verifies ownership and depth and measures waits and hold times.
#pragma once
#include <atomic>
#include <cstdint>
#include <string>

#include "base/handle.h"
#include "base/mutex_guard.h"
#include "base/refcounted.h"
#include "os/os_lock.h"
#include "qvcore5/qv_mutex.h"

namespace qv::sync {

class IMutex : public base::CQVCoreRefCounted {
 public:
  virtual QVRESULT Acquire() noexcept = 0;
  virtual QVRESULT TryAcquire() noexcept = 0;
  virtual QVRESULT Release() noexcept = 0;
  virtual QVRESULT GetLockStats(QVLockStats* record) noexcept = 0;
  virtual void ResetLockStats() noexcept = 0;
  virtual int32_t AssertOwnership(int32_t expectOwned) noexcept = 0;
  virtual std::string GetName() const = 0;
  virtual uint32_t GetFlags() const noexcept = 0;
  virtual int32_t IsStatsExcluded() const noexcept = 0;
  virtual void* GetOSMutex() noexcept = 0;
};

class CQVMutex : public IMutex {
 public:
  CQVMutex(std::string name, uint32_t flags) : m_flags(flags), m_name(std::move(name)) {}
  std::string GetName() const override { return m_name; }
  uint32_t GetFlags() const noexcept override { return m_flags; }
  int32_t IsStatsExcluded() const noexcept override { return (m_flags & QV_MUTEX_NOSTATS) ? 1 : 0; }

  // Null for a null or all-ones handle.
  static CQVMutex* FromHandle(QVMUTEX handle) noexcept { return base::ObjectFromHandle<CQVMutex>(handle); }
  // Acquire, TryAcquire and Release without the virtual call for plain
  // mutexes, whose platform lock is all they have.
  inline QVRESULT AcquireFast() noexcept;
  inline QVRESULT TryAcquireFast() noexcept;
  inline QVRESULT ReleaseFast() noexcept;
  // True exactly for CQVCoreMutexImpl objects: the provider makes a checked
  // mutex whenever the stored flags ask for checks or statistics.
  bool IsPlain() const noexcept { return (m_flags & (QV_MUTEX_CHECKED | QV_MUTEX_STATS)) == 0; }
  QVMUTEX Handle() noexcept { return reinterpret_cast<QVMUTEX>(this); }

 protected:
  uint32_t m_flags;
  std::string m_name;
};

class CQVCoreMutexImpl : public CQVMutex {
 public:
  CQVCoreMutexImpl(std::string name, uint32_t flags);
  QVRESULT Acquire() noexcept override;
  QVRESULT TryAcquire() noexcept override;
  QVRESULT Release() noexcept override;
  QVRESULT GetLockStats(QVLockStats* record) noexcept override;
  void ResetLockStats() noexcept override;
  int32_t AssertOwnership(int32_t expectOwned) noexcept override;
  void* GetOSMutex() noexcept override { return m_lock.NativeHandle(); }

  void EnterPlain() noexcept { m_lock.Enter(); }
  bool TryEnterPlain() noexcept { return m_lock.TryEnter(); }
  void LeavePlain() noexcept { m_lock.Leave(); }

 protected:
  os::CriticalSection m_lock;
};

inline QVRESULT CQVMutex::AcquireFast() noexcept {
  if (!IsPlain()) return Acquire();
  static_cast<CQVCoreMutexImpl*>(this)->EnterPlain();
  return QV_S_OK;
}

inline QVRESULT CQVMutex::TryAcquireFast() noexcept {
  if (!IsPlain()) return TryAcquire();
  return static_cast<CQVCoreMutexImpl*>(this)->TryEnterPlain() ? QV_S_OK : QV_E_FAIL;
}

inline QVRESULT CQVMutex::ReleaseFast() noexcept {
  if (!IsPlain()) return Release();
  static_cast<CQVCoreMutexImpl*>(this)->LeavePlain();
  return QV_S_OK;
}

// For base::Guard<CQVMutex*>.
inline void GuardAcquire(CQVMutex* mutex) noexcept { mutex->AcquireFast(); }
inline void GuardRelease(CQVMutex* mutex) noexcept { mutex->ReleaseFast(); }

class CQVCoreMutexChecked final : public CQVCoreMutexImpl {
 public:
  CQVCoreMutexChecked(std::string name, uint32_t flags);
  QVRESULT Acquire() noexcept override;
  QVRESULT TryAcquire() noexcept override;
  QVRESULT Release() noexcept override;
  QVRESULT GetLockStats(QVLockStats* record) noexcept override;
  void ResetLockStats() noexcept override;
  int32_t AssertOwnership(int32_t expectOwned) noexcept override;

  static int64_t TickFrequency() noexcept { return s_tickFrequency.load(std::memory_order_relaxed); }

 private:
  // Written only by the holder; read without the lock by statistics readers
  // and by other threads' ownership checks, hence relaxed atomics.
  template <class T>
  struct Field {
    std::atomic<T> v{0};
    T Get() const noexcept { return v.load(std::memory_order_relaxed); }
    void Set(T x) noexcept { v.store(x, std::memory_order_relaxed); }
  };

  bool PreAcquireFails(uint32_t self) noexcept;
  void NoteAcquired(uint32_t self, int64_t waitStart) noexcept;

  Field<uint32_t> m_owner;
  Field<int64_t> m_heldSince;
  Field<int64_t> m_maxAcquireTime;
  Field<int64_t> m_totalAcquireTime;
  Field<uint64_t> m_acquireCount;
  Field<int64_t> m_maxHeldTime;
  Field<int64_t> m_totalHeldTime;
  Field<uint64_t> m_heldCount;
  uint16_t m_lockDepth = 0;

  static std::atomic<int64_t> s_tickFrequency;
};

class IMutexProvider : public base::CQVCoreRefCounted {
 public:
  virtual QVRESULT MakeMutex(const std::string& name, uint32_t flags, CQVMutex** out) noexcept = 0;
};

class CQVMutexProvider final : public IMutexProvider {
 public:
  QVRESULT MakeMutex(const std::string& name, uint32_t flags, CQVMutex** out) noexcept override;

  // Test hook: called with the name of every mutex the provider makes.
  using CreationObserver = void (*)(const char* name);
  static void SetCreationObserver(CreationObserver observer) noexcept;
};

// Ticks of the mutex statistics to microseconds, without 64-bit overflow.
int64_t TicksToMicroseconds(int64_t ticks) noexcept;

}  // namespace qv::sync
