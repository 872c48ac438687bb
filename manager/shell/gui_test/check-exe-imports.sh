#!/usr/bin/env bash
# Checks that a program of the release folder (ZelkWAF.exe, Murrow.exe)
# imports only DLLs that come with Windows (Server 2003 and later): the C++
# runtime, libgcc and winpthreads are linked in.
#
#   check-exe-imports.sh path/to/ZelkWAF.exe
#
# Exit status: 0 all good, 1 a foreign import, 2 usage or tool error.
set -euo pipefail
if [[ $# -ne 1 || $1 == -h || $1 == --help ]]; then
  echo "usage: $0 path/to/ZelkWAF.exe" >&2
  exit 2
fi
exe=$1
[[ -f $exe ]] || { echo "$0: no such file: $exe" >&2; exit 2; }
objdump=objdump
command -v x86_64-w64-mingw32-objdump >/dev/null && objdump=x86_64-w64-mingw32-objdump
imports=$("$objdump" -p "$exe" | sed -n 's/.*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u) ||
  { echo "$0: $objdump could not read $exe" >&2; exit 2; }
allowed=" activeds.dll advapi32.dll comctl32.dll comdlg32.dll gdi32.dll kernel32.dll msvcrt.dll ole32.dll
 oleaut32.dll shell32.dll shlwapi.dll user32.dll "
status=0
for dll in $imports; do
  if [[ $allowed != *" $dll "* && $allowed != *" $dll"$'\n'* ]]; then
    echo "FAIL: $exe imports $dll, which is not part of Windows" >&2
    status=1
  fi
done
[[ -n $imports ]] || { echo "FAIL: no imports read from $exe" >&2; status=1; }
[[ $status -eq 0 ]] && echo "$exe imports only system DLLs: $(echo $imports)"
exit $status
