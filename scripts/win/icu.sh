#!/usr/bin/env bash
# Cross-builds ICU 72 (common, i18n, io and the data library) for mingw-w64 from
# the Debian source package, into a cache folder that later runs reuse.
#   scripts/win/icu.sh <x86_64|i686> <cache folder>
# Prints nothing else on success than the install prefix on its last line; the
# CMake build finds the result through ICU_ROOT=<that prefix>.
# The native half of ICU's cross build (icupkg, pkgdata, genccode...) comes from
# Debian's icu-devtools of the same version, so only the target libraries are
# compiled. The data is ICU's prebuilt archive, packaged into icudt72.dll.
set -euo pipefail
arch=${1:?arch: x86_64 or i686}
cache=$(realpath -m "${2:?cache folder}")
host=$arch-w64-mingw32
version=72.1
prefix=$cache/icu-$version-$arch
stamp=$prefix/.built
if [ -f "$stamp" ]; then
  echo "$prefix"
  exit 0
fi
jobs=${QV_JOBS:-$(nproc)}
mkdir -p "$cache"

# Sources: the Debian source package, fetched once and patched with Debian's series.
src=$cache/icu-src-$version
if [ ! -f "$src/.patched" ]; then
  rm -rf "$src" "$cache/icu-dl"
  mkdir -p "$cache/icu-dl"
  (cd "$cache/icu-dl" && apt-get source --download-only "icu=$(dpkg-query -W -f='${Version}' icu-devtools)" >/dev/null 2>&1 ||
     apt-get source --download-only icu >/dev/null)
  mkdir -p "$src"
  tar -xzf "$cache"/icu-dl/icu_"$version".orig.tar.gz -C "$src" --strip-components=1
  tar -xJf "$cache"/icu-dl/icu_"$version"-*.debian.tar.xz -C "$src"
  while read -r p; do
    case "$p" in ''|'#'*) continue ;; esac
    patch -s -d "$src" -p1 < "$src/debian/patches/$p"
  done < "$src/debian/patches/series"
  touch "$src/.patched"
fi

# The native tools: a cross buildroot that points at Debian's icu-devtools.
tools_version=$(dpkg-query -W -f='${Version}' icu-devtools 2>/dev/null || true)
case "$tools_version" in
  "$version"-*) ;;
  *) echo "icu.sh: icu-devtools $version is needed (found '${tools_version}')" >&2; exit 1 ;;
esac
native=$cache/icu-native-$version
rm -rf "$native"
mkdir -p "$native/bin" "$native/lib" "$native/config" "$native/stubdata" "$native/tools/ctestfw"
for t in icupkg pkgdata genccode gencmn genrb genbrk gencnval gendict gencfu gennorm2 gensprep makeconv icuinfo escapesrc; do
  for d in /usr/bin /usr/sbin; do
    [ -x "$d/$t" ] && ln -sf "$d/$t" "$native/bin/$t" && break
  done
done
cat > "$native/config/icucross.mk" <<MK
CROSS_ICU_VERSION=$version
TOOLEXEEXT=
TOOLBINDIR=\$(cross_buildroot)/bin
TOOLLIBDIR=\$(cross_buildroot)/lib
INVOKE=
PKGDATA_INVOKE=
MK
: > "$native/config/icucross.inc"

# The target build.
build=$cache/icu-build-$arch
rm -rf "$build" "$prefix"
mkdir -p "$build"
cc=$host-gcc-posix
cxx=$host-g++-posix
launcher=""
command -v ccache >/dev/null && launcher="ccache "
(
  cd "$build"
  CC="$launcher$cc" CXX="$launcher$cxx" AR=$host-ar RANLIB=$host-ranlib \
  CFLAGS="-O2" CXXFLAGS="-O2 -std=c++17" LDFLAGS="-static-libgcc -static-libstdc++ -Wl,--exclude-libs,ALL" \
    "$src/source/configure" --host="$host" --build="$(gcc -dumpmachine)" \
      --prefix="$prefix" --with-cross-build="$native" \
      --enable-shared --disable-static --disable-extras --disable-samples --disable-tests \
      --disable-layoutex --disable-tools --with-data-packaging=library \
      >configure.log 2>&1 || { tail -40 configure.log >&2; exit 1; }
  make -j"$jobs" >make.log 2>&1 || { tail -60 make.log >&2; exit 1; }
  make install >install.log 2>&1 || { tail -40 install.log >&2; exit 1; }
)
touch "$stamp"
echo "$prefix"
