#!/usr/bin/env bash
# Runs a Windows program of the x86_64 build under Wine; the test runner of the
# win64 build (CMAKE_CROSSCOMPILING_EMULATOR).
#
#   scripts/wine-run.sh <prefix> program.exe [arguments...]
#
# LC_ALL=zh_CN.UTF-8 gives Wine the ANSI code page 936 (GBK), as on the
# Chinese Windows servers the filter is made for.
set -euo pipefail
if [[ $# -lt 2 || $1 == -h || $1 == --help ]]; then
  echo "usage: $0 <wine prefix folder> program.exe [arguments...]" >&2
  exit 2
fi
prefix=$(realpath -m "$1")
shift
bash "$(dirname "$0")/wine-prepare.sh" "$prefix"
export WINEPREFIX=$prefix WINEDEBUG=${WINEDEBUG:--all} LC_ALL=zh_CN.UTF-8
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
# A test program always writes before it can fail (GoogleTest names itself
# first). One that ends in failure without a byte written never started: Wine
# can lose a process start on a loaded machine. Such a start is tried once
# more; any failure after output stands as it is.
out=$(mktemp)
trap 'rm -f "$out"' EXIT
for attempt in 1 2; do
  set +e
  /usr/lib/wine/wine64 "$@" | tee "$out"
  rc=${PIPESTATUS[0]}
  set -e
  if [[ $rc -eq 0 || -s $out || $attempt -eq 2 ]]; then break; fi
  echo "wine-run: $1 ended with status $rc before writing anything; starting it once more" >&2
done
exit "$rc"
