#!/usr/bin/env bash
# Installs what the Windows cross build needs, only when something is missing:
# the POSIX-threads mingw-w64 compilers, Wine, the GoogleTest sources, the
# native ICU 72 tools (the cross build of ICU runs them to package its data)
# and a deb-src entry so that apt-get source can fetch ICU and Google Benchmark.
# With QV_ARCH=i686 also the 32-bit Wine (wine32:i386, after adding the i386
# architecture to dpkg); a machine where it cannot be installed still builds.
set -euo pipefail
packages=(g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix wine64 googletest
          icu-devtools cmake ninja-build make python3 dpkg-dev)
sudo_cmd=""
[ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
need_update=0
[ ${#missing[@]} -eq 0 ] || need_update=1
src_list=/etc/apt/sources.list.d/qvcore5-src.sources
if ! grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ && ! grep -qs '^deb-src' /etc/apt/sources.list; then
  printf '%s\n' 'Types: deb-src' 'URIs: http://deb.debian.org/debian' 'Suites: bookworm' \
    'Components: main' 'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg' |
    $sudo_cmd tee "$src_list" >/dev/null
  need_update=1
fi
wine32_missing=0
if [ "${QV_ARCH:-x86_64}" = i686 ] &&
   ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q 'install ok installed'; then
  wine32_missing=1
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo_cmd dpkg --add-architecture i386
    need_update=1
  fi
fi
if [ "$need_update" -eq 1 ] || [ "$wine32_missing" -eq 1 ]; then
  $sudo_cmd apt-get update
fi
if [ ${#missing[@]} -gt 0 ]; then
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y "${missing[@]}"
fi
if [ "$wine32_missing" -eq 1 ]; then
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y wine32:i386 ||
    echo "deps: wine32:i386 could not be installed; 32-bit tests cannot run here" >&2
fi
