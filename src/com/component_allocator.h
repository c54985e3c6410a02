// The component allocator: the platform's task allocator (os_component.h),
// which every module of the process shares, so a block allocated by one
// component can be freed by another. One reference is held from the library's start to its end.
#pragma once
#include <cstddef>

#include "base/refcounted.h"

namespace qv::com {

class CQVComponentAllocator : public base::CQVCoreRefCounted {
 public:
  void* Allocate(size_t size) noexcept;
  // Null for a size of 0 (the block is freed) and when the block cannot grow.
  void* Resize(void* block, size_t size) noexcept;
  void Free(void* block) noexcept;
};

}  // namespace qv::com
