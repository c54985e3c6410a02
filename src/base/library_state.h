// Set by the library's first start and never cleared: the file functions use
// their full platform calls only once the library has started.
#pragma once
#include <atomic>

namespace qv::base {

inline std::atomic<bool> s_libraryInitialized{false};

inline bool LibraryInitialized() noexcept { return s_libraryInitialized.load(std::memory_order_relaxed); }
inline void MarkLibraryInitialized() noexcept { s_libraryInitialized.store(true, std::memory_order_relaxed); }

}  // namespace qv::base
