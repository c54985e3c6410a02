#include "os/os_entry.h"

namespace qv::os {

namespace {

__attribute__((constructor)) void OnLoad() { core::LibraryEntry(nullptr, kEntryProcessAttach, nullptr); }
__attribute__((destructor)) void OnUnload() { core::LibraryEntry(nullptr, kEntryProcessDetach, nullptr); }

}  // namespace

}  // namespace qv::os
