// The one place that picks the backend's private inline header, for the
// primitives whose uncontended paths must not cost a call.
#pragma once

#if defined(_WIN32)
#include "os/win32/native.h"
#else
#include "os/posix/native.h"
#endif
