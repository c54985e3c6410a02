// A process-wide object that the library's top builds at start and takes
// away at the end. Lower layers reach it through its slot, so they need
// nothing from the top; null before the start and after the end.
#pragma once
#include <atomic>

namespace qv::base {

template <class T>
class Installed {
 public:
  static T* Get() noexcept { return s_instance.load(std::memory_order_acquire); }
  static void Set(T* instance) noexcept { s_instance.store(instance, std::memory_order_release); }

 private:
  static inline std::atomic<T*> s_instance{nullptr};
};

}  // namespace qv::base
