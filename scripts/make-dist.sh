#!/usr/bin/env bash
# Lays out the Windows release folders from the win64 and win32 builds, shaped
# like the run-time tree (ZelkWAF.exe at the top, IIS\ZelkWAF.dll, and the
# scanner Murrow\Murrow.exe, its console twin Murrow\zelkwaf-scan.exe and
# their rules in Murrow\rules\):
#
#   dist/ZelkWAF-win64/   from build/win64
#   dist/ZelkWAF-win32/   from build/win32
#
# Binaries are stripped of their debug information. The DLL's exports and
# every binary's imports are checked. Builds that are missing are reported,
# not built.
set -euo pipefail
if [[ $# -ne 0 ]]; then
  echo "usage: $0   (run scripts/test.sh or build the win64 and win32 presets first)" >&2
  exit 2
fi
cd "$(dirname "$0")/.."
status=0
for arch in win64 win32; do
  if [[ ! -f build/$arch/CMakeCache.txt ]]; then
    echo "make-dist: build/$arch is not configured (cmake --preset $arch)" >&2
    status=1
    continue
  fi
  out=dist/ZelkWAF-$arch
  rm -rf "$out"
  cmake --install "build/$arch" --prefix "$out" --strip >/dev/null
  bash scripts/check-dll-exports.sh "$out/IIS/ZelkWAF.dll" || status=1
  bash manager/shell/gui_test/check-exe-imports.sh "$out/ZelkWAF.exe" >/dev/null || status=1
  # The scanner's window, started by the manager's "Web杀毒" item, and its
  # built-in rules, every one of them.
  bash manager/shell/gui_test/check-exe-imports.sh "$out/Murrow/Murrow.exe" >/dev/null || status=1
  bash manager/shell/gui_test/check-exe-imports.sh "$out/Murrow/zelkwaf-scan.exe" >/dev/null || status=1
  for rule in scanner/rules/*.yar; do
    cmp -s "$rule" "$out/Murrow/rules/$(basename "$rule")" ||
      { echo "FAIL: $out/Murrow/rules/$(basename "$rule") is missing or differs" >&2; status=1; }
  done
  echo "make-dist: $out" >&2
  (cd "$out" && find . -type f | sort | sed 's/^/  /') >&2
done
exit $status
