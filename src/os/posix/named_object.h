// Machine-wide named objects in POSIX shared memory with the Windows lifetime:
// an object exists while any handle to it is open in any process. Every
// holder keeps a shared flock on its own open file description; a closer
// that then gets the exclusive lock is the last holder and unlinks the name.
// The kernel drops the locks of a killed process, so its handles count as
// closed. Internal to the POSIX backend.
#pragma once
#include <cstdint>
#include <string>

namespace qv::os::posix {

struct NamedObjectRef {
  int fd = -1;
  uint64_t device = 0;
  uint64_t inode = 0;
  std::string name;  // the POSIX shm name
};

enum class NamedOpen { kOpenExisting, kOpenOrCreate };

struct NamedObjectBuilder {
  // Builds a newly created object (the caller is its only holder so far);
  // false with the last error set on failure.
  bool (*initialize)(int fd, void* context);
  // Whether an existing object has been fully built by its creator.
  bool (*ready)(int fd, void* context);
  void* context;
};

// Opens (or creates) the object; on success `out` holds its shared lock.
// Returns 1 when this call created it, 0 when it existed, -1 on failure with
// the last error set (2 when an object to open does not exist).
int OpenNamedObject(const std::string& name, NamedOpen mode, bool writable, const NamedObjectBuilder& builder,
                    NamedObjectRef& out);

// A further holder of the same object on its own file description (views
// keep their section alive after the section handle is closed).
bool DuplicateNamedObject(const NamedObjectRef& from, bool writable, NamedObjectRef& out);

// flock, retried when a signal interrupts it.
int Flock(int fd, int operation) noexcept;
// Whether the name refers to the object with this identity now.
bool NameRefersTo(const std::string& name, uint64_t device, uint64_t inode) noexcept;

// Gives up the holder's lock, unlinking the name when it was the last one.
void ReleaseNamedObject(NamedObjectRef& ref) noexcept;

}  // namespace qv::os::posix
