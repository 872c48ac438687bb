#!/usr/bin/env bash
# Checks the C++ sources against .clang-format. With no argument every tracked
# .cpp and .h file is checked (a second or two); with --changed only those that
# differ from HEAD or are not yet tracked. --fix rewrites them in place instead.
# Exit status 1 names the files that are not formatted.
set -euo pipefail
cd "$(dirname "$0")/.."

mode=check
scope=all
for arg in "$@"; do
  case "$arg" in
    --fix) mode=fix ;;
    --changed) scope=changed ;;
    -h|--help) sed -n '2,5p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "check-format: unknown option $arg" >&2; exit 2 ;;
  esac
done

if ! command -v clang-format >/dev/null; then
  echo "check-format: clang-format is not installed (scripts/setup.sh installs it)" >&2
  exit 2
fi

if [[ $scope == changed ]]; then
  mapfile -t files < <({ git diff --name-only HEAD; git ls-files --others --exclude-standard; } |
                       grep -E '\.(cpp|h)$' | sort -u | while read -r f; do [[ -f $f ]] && echo "$f"; done)
else
  mapfile -t files < <(git ls-files '*.cpp' '*.h')
fi
((${#files[@]})) || exit 0

if [[ $mode == fix ]]; then
  clang-format -i "${files[@]}"
  exit 0
fi
# One run over all files; each unformatted place is reported as "FILE:LINE:COL: error".
mapfile -t bad < <(clang-format --dry-run --Werror "${files[@]}" 2>&1 |
                   sed -n 's/^\(.*\.\(cpp\|h\)\):[0-9]*:[0-9]*: error:.*/\1/p' | sort -u)
if ((${#bad[@]})); then
  echo "check-format: not formatted as .clang-format says (scripts/check-format.sh --fix):" >&2
  printf '  %s\n' "${bad[@]}" >&2
  exit 1
fi
echo "check-format: ${#files[@]} files formatted" >&2
