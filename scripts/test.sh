#!/usr/bin/env bash
# Builds everything and runs every test: the native build, the native build
# with AddressSanitizer + UndefinedBehaviorSanitizer, a short run of every fuzz
# target, the thread stress test under ThreadSanitizer, the Windows x86_64 build
# with its tests under Wine, and the Windows i686 build (compiled and checked,
# not run: this machine cannot run 32-bit code). Lays out dist/ at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

jobs=$(nproc)
status=0
echo "== format: .clang-format on every C++ source" >&2
bash scripts/check-format.sh || status=1
for preset in native asan; do
  echo "== $preset: configure and build" >&2
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  echo "== $preset: test" >&2
  ctest --preset "$preset" -j "$jobs" || status=1
done

# Every fuzz target for 10 s from its seeds (the regression inputs among
# them); then the thread stress test (16 threads, 500 requests each) and the
# site monitor's threaded tests under ThreadSanitizer.
echo "== fuzz: each target for 10 s" >&2
bash scripts/fuzz.sh 10 || status=1
echo "== tsan: configure, build, stress test" >&2
cmake --preset tsan >/dev/null
cmake --build --preset tsan -j "$jobs"
ctest --preset tsan -j "$jobs" || status=1

# Windows builds: PCRE is cross-built into .cache/ on first use.
for arch in x86_64 i686; do
  bash scripts/build-pcre-mingw.sh "$arch-w64-mingw32"
done

echo "== win64: configure and build" >&2
cmake --preset win64 >/dev/null
cmake --build --preset win64 -j "$jobs"
echo "== win64: test under Wine" >&2
prefix=$PWD/build/win64/wineprefix
wine_start=$(date +%s)
bash scripts/wine-prepare.sh "$prefix"
ctest --preset win64 -j "$jobs" || status=1
echo "== win64: Wine tests took $(($(date +%s) - wine_start)) s" >&2
echo "== win64: pictures of the manager's ten pages (skin on and off): build/win64/gui-test/screenshots" >&2
# The server would otherwise linger for ten minutes after the last test.
WINEPREFIX=$prefix wineserver -k 2>/dev/null || true

echo "== win32: configure and build" >&2
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j "$jobs"

echo "== dist: release folders and export checks of both DLLs" >&2
bash scripts/make-dist.sh || status=1
exit $status
