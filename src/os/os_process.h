// Child processes, shaped like the Windows process primitives. A process
// handle is a handle value of os_handle.h; the child's exit state is read
// without giving the child up, so it can be read again until the handle is
// closed. Closing the last handle of a child that has ended frees what the
// platform keeps of it; a child still running is freed once it ends. No
// other child of the process is ever touched. Failures set the last error.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qv::os {

struct ChildStartRequest {
  // Run as named, never searched for; a relative name is taken from the
  // caller's current directory, not from `directory`.
  std::u16string_view program;
  std::vector<std::u16string> arguments;  // the child's argument vector, its own name first
  // The argument text the vector was split from (null: none), for platforms
  // that hand a child one command line rather than a vector.
  const char16_t* argumentText = nullptr;
  const char16_t* directory = nullptr;    // null: the caller's
  // "NAME=value" strings, each followed by one zero unit, then one more zero
  // unit; null: the caller's environment.
  const std::u16string* environmentBlock = nullptr;
  // File handles (os_file.h) for input, output and error; null: the caller's
  // own stream. Nothing else of the caller reaches the child.
  void* streams[3] = {nullptr, nullptr, nullptr};
};

// Starts the child and returns its process handle, or null. A program that
// cannot be run fails with its error (2, 5, 193), a directory that is no
// directory with error 267.
void* ChildStart(const ChildStartRequest& request) noexcept;

// Kills a child whose handle was never handed out and closes the handle.
void ChildAbandon(void* process) noexcept;

// *ended tells whether the child has ended; then *code holds its exit code
// (128 + the signal's number for a child ended by a signal).
bool ChildExitState(void* process, bool* ended, uint32_t* code) noexcept;

// Waits without time limit until the child has ended.
bool ChildAwaitEnd(void* process) noexcept;

// Closes a process handle (error 6 for anything else).
bool ChildHandleClose(void* process) noexcept;

// A signal that cuts a ChildAwaitAny short; raising it is remembered until
// a wait reports it.
void* WakeSignalMake() noexcept;
void WakeSignalRaise(void* wake) noexcept;
void WakeSignalDispose(void* wake) noexcept;

// Waits until one of the children has ended (its index in *index) or the
// wake signal is raised (*index == count, the signal is then reset). A value
// that is no longer an open process handle counts as ended.
bool ChildAwaitAny(const std::vector<void*>& children, void* wake, size_t* index) noexcept;

// An anonymous pipe as two file handles (os_file.h) that no child inherits.
bool PipeMake(void** readEnd, void** writeEnd) noexcept;

uint32_t OwnProcessIdentifier() noexcept;

}  // namespace qv::os
