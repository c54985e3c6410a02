// Base of reference-counted objects: created with count 0; whoever hands the
// object out adds the first reference; the release that reaches 0 deletes it.
#pragma once
#include <atomic>
#include <cstdint>

namespace qv::base {

class CQVCoreRefCounted {
 public:
  virtual ~CQVCoreRefCounted() = default;
  CQVCoreRefCounted(const CQVCoreRefCounted&) = delete;
  CQVCoreRefCounted& operator=(const CQVCoreRefCounted&) = delete;

  uint32_t AddReference() noexcept { return m_refCount.fetch_add(1, std::memory_order_seq_cst) + 1; }
  uint32_t ReleaseReference() noexcept {
    uint32_t left = m_refCount.fetch_sub(1, std::memory_order_seq_cst) - 1;
    if (left == 0) delete this;
    return left;
  }
  uint32_t RefCount() const noexcept { return m_refCount.load(std::memory_order_relaxed); }

 protected:
  CQVCoreRefCounted() = default;

 private:
  std::atomic<uint32_t> m_refCount{0};
};

}  // namespace qv::base
