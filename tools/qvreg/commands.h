// The six commands; each returns the exit status.
#pragma once
#include "command_line.h"

namespace qvreg {

enum Status { kDone = 0, kNotFound = 1, kUsage = 2, kFailed = 3 };

int RunCommand(const Command& command);

}  // namespace qvreg
