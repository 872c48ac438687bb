#!/usr/bin/env bash
# Cross-builds PCRE 8.x (Debian's pcre3 source, with Debian's patches) as a
# static 8-bit library for one mingw-w64 target and installs it into a cache
# folder outside the tracked sources. Does nothing when the library is there.
#
#   scripts/build-pcre-mingw.sh x86_64-w64-mingw32|i686-w64-mingw32 [prefix]
#
# The default prefix is .cache/pcre-<triple> in the repository (git-ignored).
# Options: JIT on; recursion on the heap (--disable-stack-for-recursion), so a
# deep match cannot overflow the small stacks of IIS worker threads; the
# filter also bounds it with match_limit_recursion. UTF-8 and Unicode
# properties are compiled in as in Debian's own build, so the Windows library
# accepts exactly the patterns the Linux one does (the filter never turns
# UTF-8 mode on).
set -euo pipefail

usage() {
  echo "usage: $0 x86_64-w64-mingw32|i686-w64-mingw32 [prefix]" >&2
  exit 2
}
[[ $# -ge 1 && $# -le 2 ]] || usage
case "$1" in
  -h | --help) usage ;;
  x86_64-w64-mingw32 | i686-w64-mingw32) triple=$1 ;;
  *) echo "$0: unknown target '$1'" >&2; usage ;;
esac

root=$(cd "$(dirname "$0")/.." && pwd)
prefix=${2:-$root/.cache/pcre-$triple}
if [[ -f $prefix/lib/libpcre.a && -f $prefix/include/pcre.h ]]; then
  exit 0
fi

for tool in "$triple-gcc-posix" dpkg-source apt-get; do
  command -v "$tool" >/dev/null || { echo "$0: $tool not found; run scripts/setup.sh first" >&2; exit 1; }
done

# The source is fetched once and shared by both targets. A lock keeps two
# builds started together from fetching into the same folder.
src_root=$root/.cache/src
mkdir -p "$src_root"
exec 9>"$src_root/.lock"
flock 9
src=$(find "$src_root" -maxdepth 1 -type d -name 'pcre3-8.*' | sort | tail -n 1)
if [[ -z $src ]]; then
  echo "build-pcre-mingw: fetching Debian's pcre3 source" >&2
  fetch=$(mktemp -d "$src_root/fetch.XXXXXX")
  if ! (cd "$fetch" && apt-get source -qq pcre3 >/dev/null 2>"$fetch/apt.log"); then
    cat "$fetch/apt.log" >&2
    echo "$0: 'apt-get source pcre3' failed; scripts/setup.sh adds the deb-src entry it needs" >&2
    rm -rf "$fetch"
    exit 1
  fi
  unpacked=$(find "$fetch" -maxdepth 1 -type d -name 'pcre3-8.*' | head -n 1)
  [[ -n $unpacked ]] || { echo "$0: no pcre3-8.* folder after apt-get source" >&2; exit 1; }
  mv "$unpacked" "$src_root/"
  rm -rf "$fetch"
  src=$src_root/$(basename "$unpacked")
  # Debian's patches touch configure.ac; the shipped configure script is what
  # we run, so mark the generated files as newer to keep make from trying to
  # regenerate them (autotools are not installed).
  (cd "$src" && touch aclocal.m4 && sleep 1 && touch configure Makefile.in config.h.in)
fi
flock -u 9

build=$root/.cache/build-pcre-$triple
rm -rf "$build" "$prefix.partial"
mkdir -p "$build"
echo "build-pcre-mingw: building $(basename "$src") for $triple" >&2
(
  cd "$build"
  "$src/configure" --host="$triple" --prefix="$prefix.partial" \
    CC="$triple-gcc-posix" CFLAGS="-O2" \
    --enable-static --disable-shared --disable-cpp --enable-jit \
    --disable-stack-for-recursion --enable-utf8 --enable-unicode-properties \
    --disable-pcregrep-jit >configure.log 2>&1 || { tail -n 30 configure.log >&2; exit 1; }
  make -j"$(nproc)" libpcre.la libpcreposix.la >make.log 2>&1 || { tail -n 30 make.log >&2; exit 1; }
  make install-libLTLIBRARIES install-includeHEADERS install-nodist_includeHEADERS >>make.log 2>&1 ||
    { tail -n 30 make.log >&2; exit 1; }
)
grep -q '^#define SUPPORT_JIT' "$build/config.h" || { echo "$0: JIT support did not build for $triple" >&2; exit 1; }
grep -q '^#define NO_RECURSE' "$build/config.h" || { echo "$0: recursion is not on the heap for $triple" >&2; exit 1; }
rm -rf "$prefix"
mv "$prefix.partial" "$prefix"
rm -rf "$build"
echo "build-pcre-mingw: installed $prefix" >&2
