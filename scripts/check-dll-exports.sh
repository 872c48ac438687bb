#!/usr/bin/env bash
# Checks a built ZelkWAF.dll without running it: its export table holds
# exactly the six ISAPI entry points under their plain names (no "@n" stdcall
# decoration, no stray symbols), and it imports only DLLs that come with
# Windows (the C++ runtime, libgcc and winpthreads are linked in statically).
#
#   scripts/check-dll-exports.sh path/to/ZelkWAF.dll
#
# Exit status: 0 all good, 1 a check failed, 2 usage or tool error.
set -euo pipefail
if [[ $# -ne 1 || $1 == -h || $1 == --help ]]; then
  echo "usage: $0 path/to/ZelkWAF.dll" >&2
  exit 2
fi
dll=$1
[[ -f $dll ]] || { echo "$0: no such file: $dll" >&2; exit 2; }

# x86_64-w64-mingw32-objdump reads both PE32 and PE32+; plain objdump may not.
objdump=objdump
for candidate in x86_64-w64-mingw32-objdump i686-w64-mingw32-objdump; do
  if command -v "$candidate" >/dev/null; then objdump=$candidate; break; fi
done
# Its messages are read below, so they must not be translated.
dump=$(LC_ALL=C "$objdump" -p "$dll") || { echo "$0: $objdump could not read $dll" >&2; exit 2; }

status=0
fail() { echo "FAIL: $*" >&2; status=1; }

format=$(printf '%s\n' "$dump" | sed -n 's/.*file format \(pei-[a-z0-9-]*\).*/\1/p' | head -n 1)
case $format in
  pei-x86-64 | pei-i386) ;;
  *) fail "$dll: not a Windows x86-64 or i386 image ($format)" ;;
esac

# Export names from the "[Ordinal/Name Pointer] Table" section.
exports=$(printf '%s\n' "$dump" |
  awk '/\[Ordinal\/Name Pointer\] Table/ {on=1; next} on && /^[[:space:]]*\[/ {print $NF; next} on && NF==0 {on=0}' |
  sort)
expected=$(printf '%s\n' GetExtensionVersion GetFilterVersion HttpExtensionProc HttpFilterProc \
  TerminateExtension TerminateFilter | sort)
if [[ $exports != "$expected" ]]; then
  fail "$dll exports differ from the six entry points:"
  diff <(printf '%s\n' "$expected") <(printf '%s\n' "$exports") >&2 || true
fi

# Imported DLLs: only system libraries of Windows Server 2003 and later.
system_dlls=" kernel32.dll msvcrt.dll advapi32.dll user32.dll ntdll.dll ws2_32.dll shell32.dll ole32.dll "
imports=$(printf '%s\n' "$dump" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
[[ -n $imports ]] || fail "$dll: no import table found"
for dll_name in $imports; do
  [[ $system_dlls == *" $dll_name "* ]] || fail "$dll imports $dll_name, which is not a Windows system DLL"
done

if ((status == 0)); then
  echo "$dll ($format): exports $(echo $exports); imports $(echo $imports)"
fi
exit $status
