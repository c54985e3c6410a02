#!/usr/bin/env bash
# Builds the library and runs the whole test suite. Extra CMake options may be
# given in QV_CMAKE_ARGS and a build folder in QV_BUILD (default build).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
build=${QV_BUILD:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo ${QV_CMAKE_ARGS:-}
cmake --build "$build" -j "$(nproc)"
ctest --test-dir "$build" -j "$(nproc)" --output-on-failure --timeout 300
