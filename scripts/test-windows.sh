#!/usr/bin/env bash
# Cross-builds the library for 64-bit Windows with mingw-w64 and runs the test
# suite under Wine. ICU is cross-built once into the build folder's cache.
# A build folder may be given in QV_BUILD (default build-windows), extra CMake
# options in QV_CMAKE_ARGS. QV_ARCH=i686 builds the 32-bit library; its tests
# run only where a 32-bit Wine is installed.
set -euo pipefail
cd "$(dirname "$0")/.."
arch=${QV_ARCH:-x86_64}
build=${QV_BUILD:-build-windows}
jobs=$(nproc)
bash scripts/win/deps.sh
SECONDS=0
icu_root=$(QV_JOBS=$jobs bash scripts/win/icu.sh "$arch" "$build/_icu" | tail -n 1)
echo "test-windows: ICU ready after ${SECONDS}s" >&2
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/toolchain-mingw-w64-$arch.cmake" -DICU_ROOT="$icu_root" \
  -DQV_BUILD_BENCH=OFF -DQV_BUILD_DEMO=OFF "${launcher[@]}" ${QV_CMAKE_ARGS:-}
# Test discovery runs the programs during the build, under a time limit: the
# build folder's Wine prefix is made before, without one.
if [ "$arch" != i686 ] || dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q 'install ok installed'; then
  env -u WINEPREFIX "$build/wine-run.sh" wineboot -u >/dev/null 2>&1 || true
fi
cmake --build "$build" -j "$jobs"
echo "test-windows: built after ${SECONDS}s" >&2
if [ "$arch" = i686 ] && ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q 'install ok installed'; then
  echo "test-windows: no 32-bit Wine (wine32:i386) here; the i686 build is not run" >&2
  exit 0
fi
# A fresh Wine prefix in a temporary folder, removed afterwards.
prefix=$(mktemp -d "${TMPDIR:-/tmp}/qvcore5-wine.XXXXXX")
trap 'wineserver -k >/dev/null 2>&1 || true; rm -rf "$prefix"' EXIT
export WINEPREFIX="$prefix/prefix"
export WINEDEBUG=-all
wine wineboot -i >/dev/null 2>&1 && touch "$WINEPREFIX/.qvcore5-ready"
status=0
# Wine now and then fails to start a program at all ("ShellExecuteEx failed"),
# before any test code runs; such a test gets one more run.
ctest --test-dir "$build" -j "$jobs" --output-on-failure --timeout 300 --repeat until-pass:2 || status=$?
echo "test-windows: tests done after ${SECONDS}s" >&2
exit $status
