#!/usr/bin/env bash
# The DLL's soak under Wine: ZelkWAF.dll serves 1,000,000 requests from 8
# threads with the event log on, RUNS times (default 5), each in a fresh
# process. Prints each run's memory after the first 10,000 requests and at
# the end; fails if any run fails (a torn or missing log line, a wrong
# verdict, memory more than 5% above the warm-up figure, a crash).
#
#   scripts/dll-soak.sh [RUNS]
#   ZELK_SOAK_REQUESTS / ZELK_SOAK_THREADS change the load.
#   ZELK_SOAK_BUILD=0 skips configuring and building (the caller did).
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-5}
if [[ "${ZELK_SOAK_BUILD:-1}" == 1 ]]; then
  bash scripts/build-pcre-mingw.sh x86_64-w64-mingw32
  cmake --preset win64 >/dev/null
  cmake --build --preset win64 --target isapi_host_test -j "$(nproc)"
fi
export ZELK_SOAK_REQUESTS=${ZELK_SOAK_REQUESTS:-1000000} ZELK_SOAK_THREADS=${ZELK_SOAK_THREADS:-8}
prefix=$PWD/build/win64/wineprefix
failed=0
for ((run = 1; run <= runs; run++)); do
  out=$(mktemp)
  set +e
  (cd build/win64/filter/isapi &&
    bash ../../../../scripts/wine-run.sh "$prefix" isapi_host_test.exe \
      --gtest_filter=ZelkWafDll.ManyThreadsLogWholeLinesAndMemoryStaysLevel) >"$out" 2>&1
  rc=$?
  set -e
  figures=$(grep -o 'memory after the warm-up: .*' "$out" || echo "no figures")
  if ((rc == 0)); then
    echo "run $run of $runs: passed; $figures"
  else
    echo "run $run of $runs: FAILED (status $rc); $figures"
    cat "$out" >&2
    failed=1
  fi
  rm -f "$out"
done
exit "$failed"
