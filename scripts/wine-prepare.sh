#!/usr/bin/env bash
# Gets a Wine prefix ready for the tests: starts its wine server (kept
# running for ten minutes after its last program ends) and creates the prefix
# on first use, with every standard stream on /dev/null.
#
#   scripts/wine-prepare.sh <prefix>
#
# Why: a wine server or a wineboot started by a test program inherits that
# program's standard streams, and CTest waits until every holder of its pipes
# has gone. Started from here, they hold nothing of CTest's.
set -euo pipefail
if [[ $# -ne 1 || $1 == -h || $1 == --help ]]; then
  echo "usage: $0 <wine prefix folder>" >&2
  exit 2
fi
prefix=$(realpath -m "$1")
export WINEPREFIX=$prefix WINEDEBUG=${WINEDEBUG:--all} LC_ALL=zh_CN.UTF-8
# No Mono or Gecko installers: the tests need neither.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

mkdir -p "$prefix"
exec 9>"$prefix.lock"
flock 9
# The lock must not be inherited by the long-lived processes started below.
# Exit status 0: a new server was started; 2: one is already running.
server_started=0
wineserver -p600 </dev/null >/dev/null 2>&1 9>&- && server_started=1
if [[ ! -f $prefix/.zelk-booted ]]; then
  /usr/lib/wine/wine64 wineboot --init </dev/null >/dev/null 2>&1 9>&-
  touch "$prefix/.zelk-booted"
elif ((server_started)); then
  # A fresh server starts Wine's background services (services.exe,
  # winedevice.exe, ...) for its first program; let that be this wineboot,
  # not a test program whose output CTest is reading.
  /usr/lib/wine/wine64 wineboot </dev/null >/dev/null 2>&1 9>&-
fi
