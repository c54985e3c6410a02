#!/usr/bin/env bash
# Builds the Debian packages of a build tree with cpack and checks that each
# lists what it should: the library in the runtime package, the headers, CMake
# package, pkg-config file and library link in the development package, the
# programs and the manual page in the tools package.
set -euo pipefail
cpack=$1 build=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$cpack" -G DEB -B "$work" --config "$build/CPackConfig.cmake" >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; exit 1; }

check() {  # package-name pattern...
  local deb
  deb=$(ls "$work"/"$1"_*.deb 2>/dev/null | head -n1)
  [ -n "$deb" ] || { echo "no package $1"; ls "$work"; exit 1; }
  dpkg-deb --contents "$deb" | awk '{print $6}' >"$work/$1.list"
  shift
  for pattern in "$@"; do
    grep -Eq "$pattern" "$work/$(basename "$deb" | cut -d_ -f1).list" || { echo "$deb lacks $pattern"; cat "$work"/*.list; exit 1; }
  done
}
check libqvcore5-5 '^\./usr/lib/.*libqvcore5\.so\.5$' '^\./usr/lib/.*libqvcore5\.so\.5\.[0-9.]+$'
check libqvcore5-dev '^\./usr/include/qvcore5/qvcore\.h$' '^\./usr/include/qvcore5/qv_registry\.h$' \
  '^\./usr/lib/.*libqvcore5\.so$' '^\./usr/lib/.*cmake/qvcore5/qvcore5Config\.cmake$' \
  '^\./usr/lib/.*cmake/qvcore5/qvcore5Targets\.cmake$' '^\./usr/lib/.*pkgconfig/qvcore5\.pc$'
check qvcore5-tools '^\./usr/bin/qvreg$' '^\./usr/bin/qvlockstat$' '^\./usr/share/man/man1/qvreg\.1' '^\./usr/share/man/man1/qvlockstat\.1'

# Nothing in two packages, nothing of one package's kind in another.
if grep -E 'include/|\.pc$|cmake/|bin/' "$work/libqvcore5-5.list"; then echo "runtime package holds development files"; exit 1; fi
if grep -E 'libqvcore5\.so\.' "$work/libqvcore5-dev.list" "$work/qvcore5-tools.list"; then echo "the library is packaged twice"; exit 1; fi
dpkg-deb -f "$work"/qvcore5-tools_*.deb Depends | grep -q 'libqvcore5-5 (= ' || { echo "tools do not depend on the library package"; exit 1; }
echo "packages list what they should"
