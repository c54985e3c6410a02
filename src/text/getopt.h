// The option scanner behind QVGetOption: every option is looked up by name,
// with one or two dashes; without a table each option character is reported.
#pragma once
#include <cstdint>

#include "qvcore5/qv_getopt.h"

namespace qv::text {

int32_t ScanOptions(int32_t argc, char** argv, const QVLongOption* longOptions, int32_t* longIndex) noexcept;

// Exchanges argv[start, end) with argv[end, optEnd) in place, each block
// keeping its order. False (nothing moved) when the bounds are not ordered
// inside [0, argc].
bool PermuteArguments(int32_t start, int32_t end, int32_t optEnd, int32_t argc, char** argv) noexcept;

}  // namespace qv::text
