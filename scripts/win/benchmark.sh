#!/usr/bin/env bash
# Cross-builds Google Benchmark for mingw-w64 from the Debian source package
# (with Debian's patches), as a static library, into a cache folder that later
# runs reuse.
#   scripts/win/benchmark.sh <x86_64|i686> <cache folder>
# Prints the install prefix on its last line; the CMake build finds it through
# benchmark_ROOT=<that prefix>.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
arch=${1:?arch: x86_64 or i686}
cache=$(realpath -m "${2:?cache folder}")
version=$(dpkg-query -W -f='${Version}' libbenchmark-dev 2>/dev/null | sed 's/-[^-]*$//' || true)
version=${version:-1.7.1}
prefix=$cache/benchmark-$version-$arch
if [ -f "$prefix/.built" ]; then
  echo "$prefix"
  exit 0
fi
jobs=${QV_JOBS:-$(nproc)}
mkdir -p "$cache"

# Sources: the Debian source package of the version the native build uses,
# fetched once and patched with Debian's series.
src=$cache/benchmark-src-$version
if [ ! -f "$src/.patched" ]; then
  rm -rf "$src" "$cache/benchmark-dl"
  mkdir -p "$cache/benchmark-dl"
  (cd "$cache/benchmark-dl" &&
     { apt-get source --download-only "benchmark=$(dpkg-query -W -f='${Version}' libbenchmark-dev 2>/dev/null)" >/dev/null 2>&1 ||
       apt-get source --download-only benchmark >/dev/null; })
  mkdir -p "$src"
  tar -xzf "$cache"/benchmark-dl/benchmark_"$version".orig.tar.gz -C "$src" --strip-components=1
  tar -xJf "$cache"/benchmark-dl/benchmark_"$version"-*.debian.tar.xz -C "$src"
  while read -r p; do
    case "$p" in ''|'#'*) continue ;; esac
    patch -s -d "$src" -p1 < "$src/debian/patches/$p"
  done < "$src/debian/patches/series"
  touch "$src/.patched"
fi

# A static library: the benchmark programs then need no further DLL under Wine.
build=$cache/benchmark-build-$arch
rm -rf "$build" "$prefix"
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S "$src" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-w64-$arch.cmake" \
  -DCMAKE_INSTALL_PREFIX="$prefix" -DGIT_VERSION="$version" -DBUILD_SHARED_LIBS=OFF \
  -DBENCHMARK_ENABLE_TESTING=OFF -DBENCHMARK_ENABLE_GTEST_TESTS=OFF -DBENCHMARK_ENABLE_LTO=OFF \
  -DBENCHMARK_ENABLE_WERROR=OFF -DBENCHMARK_INSTALL_DOCS=OFF "${launcher[@]}" \
  >"$cache/benchmark-configure-$arch.log" 2>&1 || { tail -40 "$cache/benchmark-configure-$arch.log" >&2; exit 1; }
cmake --build "$build" -j "$jobs" >"$cache/benchmark-build-$arch.log" 2>&1 ||
  { tail -60 "$cache/benchmark-build-$arch.log" >&2; exit 1; }
cmake --install "$build" >/dev/null
touch "$prefix/.built"
echo "$prefix"
