// Buffers with guard units on both sides for the fuzz targets: any write
// outside the given capacity aborts the run.
#pragma once
#include <cstdlib>
#include <vector>

template <class Unit>
class GuardedBuffer {
 public:
  static constexpr size_t kGuard = 16;
  explicit GuardedBuffer(size_t capacity) : m_units(capacity + 2 * kGuard, Fill()), m_capacity(capacity) {}
  Unit* data() { return m_units.data() + kGuard; }
  void Check() const {
    for (size_t i = 0; i < kGuard; ++i)
      if (m_units[i] != Fill() || m_units[kGuard + m_capacity + i] != Fill()) std::abort();
  }
  static Unit Fill() { return static_cast<Unit>(0x5A); }

 private:
  std::vector<Unit> m_units;
  size_t m_capacity;
};
