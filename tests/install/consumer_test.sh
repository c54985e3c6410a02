#!/usr/bin/env bash
# Installs the library into a temporary prefix, then builds and runs a small C
# program against it twice: once through pkg-config, once through CMake's
# find_package(qvcore5).
set -euo pipefail
here=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for component in runtime development; do
  "$QV_CMAKE" --install "$QV_BUILD_DIR" --prefix "$work/prefix" --component $component >/dev/null
done
pcdir=$(dirname "$(find "$work/prefix" -name qvcore5.pc | head -n1)")
libdir=$(dirname "$(find "$work/prefix" -name 'libqvcore5.so' | head -n1)")

# pkg-config
flags=$(PKG_CONFIG_PATH="$pcdir" pkg-config --cflags --libs qvcore5)
# A sanitized library needs a sanitized program in front of it.
extra=${QV_CONSUMER_FLAGS:-}
"$QV_C_COMPILER" -std=c11 -Wall -Wextra -Werror $extra "$here/consumer.c" -o "$work/consumer_pc" $flags
out=$(LD_LIBRARY_PATH="$libdir" "$work/consumer_pc")
[ "$out" = "consumer ok" ] || { echo "pkg-config consumer printed: $out"; exit 1; }

# find_package
mkdir -p "$work/cm"
"$QV_CMAKE" -S "$here" -B "$work/cm" -DCMAKE_PREFIX_PATH="$work/prefix" -DCMAKE_C_COMPILER="$QV_C_COMPILER" \
  -DCMAKE_C_FLAGS="$extra" >/dev/null
"$QV_CMAKE" --build "$work/cm" >/dev/null
out=$(LD_LIBRARY_PATH="$libdir" "$work/cm/consumer")
[ "$out" = "consumer ok" ] || { echo "find_package consumer printed: $out"; exit 1; }
echo "installed library works through pkg-config and find_package"
