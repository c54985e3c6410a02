// The option scanner behind QVGetOption. It also knows single-character
// options, which QVGetOption never asks for: they are reached only from here.
#pragma once
#include <cstdint>

#include "qvcore5/qv_getopt.h"

namespace qv::text {

enum ScanFlags : uint32_t {
  kScanPermute = 1,       // gather non-options behind the options
  kScanAllArguments = 2,  // return each non-option as the argument of option 1
  kScanLongOnly = 4,      // "-name" is a named option too
};

// options: the single-character options; a character followed by ':' takes
// an argument; a leading ':' silences messages and makes a missing argument
// return ':'; "W;" reads "-W name" as the named option "name".
int32_t ScanOptions(int32_t argc, char** argv, const char* options, const QVLongOption* longOptions,
                    int32_t* longIndex, uint32_t flags) noexcept;

// Exchanges argv[start, end) with argv[end, optEnd) in place, each block
// keeping its order. False (nothing moved) when the bounds are not ordered
// inside [0, argc].
bool PermuteArguments(int32_t start, int32_t end, int32_t optEnd, int32_t argc, char** argv) noexcept;

}  // namespace qv::text
