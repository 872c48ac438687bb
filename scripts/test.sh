#!/usr/bin/env bash
# Builds everything and runs every test: the native build, the native build
# with AddressSanitizer + UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

jobs=$(nproc)
status=0
for preset in native asan; do
  echo "== $preset: configure and build" >&2
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  echo "== $preset: test" >&2
  ctest --preset "$preset" -j "$jobs" || status=1
done
exit $status
