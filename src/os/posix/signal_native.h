// POSIX side of the signalling primitives: the native types they embed.
// Include os/os_signal.h.
#pragma once
#include <pthread.h>

namespace qv::os::native {

using PlainMutexType = pthread_mutex_t;
using CondType = pthread_cond_t;

}  // namespace qv::os::native
