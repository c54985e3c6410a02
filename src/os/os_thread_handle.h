// Threads with Windows-style handles: the handle value (os_handle.h) can be
// waited on by any number of threads, gives the exit code once the thread
// has ended and is closed once; a second close fails with error 6. Closing
// the handle of a running thread lets it run on and free itself at its end.
#pragma once
#include <cstdint>

namespace qv::os {

using ThreadRoutine = uint32_t (*)(void* argument);

// Exit code reported while the thread still runs.
constexpr uint32_t kStillActive = 259;

// Starts routine(argument) on a new thread with the given stack size
// (0 = platform default). On success stores the handle value and the
// thread's id; false with the last error set otherwise.
bool ThreadStart(uint32_t stackSize, ThreadRoutine routine, void* argument, void** handle,
                  uint32_t* threadId) noexcept;

// Waits without time limit until the thread has ended. False with last error
// 6 for a value that is not a thread handle (the current-thread pseudo handle
// included) and 1131 when a thread would wait for itself.
bool WaitForThread(void* handle) noexcept;

// The exit code once the thread has ended and been waited for, else kStillActive.
bool ThreadExitCode(void* handle, uint32_t* exitCode) noexcept;

// The constant value that denotes the calling thread (Windows' GetCurrentThread()).
void* CurrentThreadPseudoHandle() noexcept;

}  // namespace qv::os
