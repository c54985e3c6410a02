#!/usr/bin/env bash
# Builds the library and runs the demo program.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)" --target qvdemo
./build/examples/demo/qvdemo
