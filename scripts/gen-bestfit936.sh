#!/usr/bin/env bash
# Regenerates filter/bestfit936_table.inc, the table behind BestFit936: builds
# scripts/bestfit936/gen_bestfit936.cpp with mingw-w64 and runs it under Wine
# with code page 936, so every platform decodes "%uXXXX" with the bytes
# Windows' own conversion (best fit included) gives.
#
#   scripts/gen-bestfit936.sh [wine prefix]
#
# The default prefix is the win64 build's (build/win64/wineprefix); its wine
# server is left running as after the tests (it ends ten minutes after its
# last program, or at once with `WINEPREFIX=<prefix> wineserver -k`).
set -euo pipefail
if [[ $# -gt 1 || ${1:-} == -h || ${1:-} == --help ]]; then
  echo "usage: $0 [wine prefix folder]" >&2
  exit 2
fi
root=$(cd "$(dirname "$0")/.." && pwd)
prefix=$(realpath -m "${1:-$root/build/win64/wineprefix}")
out=$root/filter/bestfit936_table.inc
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

x86_64-w64-mingw32-g++-posix -std=c++17 -O2 -Wall -Wextra -static \
  -o "$work/gen_bestfit936.exe" "$root/scripts/bestfit936/gen_bestfit936.cpp"
bash "$root/scripts/wine-prepare.sh" "$prefix"
WINEPREFIX=$prefix WINEDEBUG=${WINEDEBUG:--all} LC_ALL=zh_CN.UTF-8 \
  WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=} \
  /usr/lib/wine/wine64 "$work/gen_bestfit936.exe" </dev/null >"$work/table.inc"
mv "$work/table.inc" "$out"
echo "gen-bestfit936: wrote $out ($(wc -c <"$out") bytes)" >&2
