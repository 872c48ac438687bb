#!/usr/bin/env bash
# Murrow.exe's window test under Wine and Xvfb: lays Murrow.exe, its rules and
# the manager out as the release folder does ("Zelk WAF\Murrow\"), starts an X server and
# a Wine prefix with a virtual desktop and Chinese fonts (the manager's GUI
# environment), runs the driver and turns its pictures into PNG files.
#
#   run-murrow-gui-test.sh <Murrow.exe> <rules folder> <ZelkWAF.exe> <gui driver.exe> <output folder>
#
# Exit status: the driver's (0 when every check held), 2 for usage errors.
set -euo pipefail
if [[ $# -ne 5 || $1 == -h || $1 == --help ]]; then
  echo "usage: $0 <Murrow.exe> <rules folder> <ZelkWAF.exe> <gui driver.exe> <output folder>" >&2
  exit 2
fi
exe=$(realpath "$1") rules=$(realpath "$2") manager=$(realpath "$3") driver=$(realpath "$4")
out=$(realpath -m "$5")
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../../.." && pwd)
rm -rf "$out/work" "$out/screenshots"
mkdir -p "$out/work/Zelk WAF/Murrow/rules" "$out/screenshots"
cp "$exe" "$out/work/Zelk WAF/Murrow/Murrow.exe"
cp "$rules"/*.yar "$out/work/Zelk WAF/Murrow/rules/"
cp "$manager" "$out/work/Zelk WAF/ZelkWAF.exe"

display=$(( 50 + $$ % 200 ))
while [[ -e /tmp/.X11-unix/X$display || -e /tmp/.X$display-lock ]]; do display=$((display + 1)); done
source "$repo/manager/shell/gui_test/wine-gui-env.sh" "$out/guiprefix" "$display"
trap gui_env_stop EXIT

win() { local p=$1; echo "Z:${p//\//\\}"; }
set +e
# The driver reports in GBK; the terminal reads UTF-8.
/usr/lib/wine/wine64 "$driver" "$(win "$out/work/Zelk WAF/Murrow/Murrow.exe")" \
  "$(win "$out/work/Zelk WAF/ZelkWAF.exe")" "$(win "$out/work")" \
  "$(win "$out/screenshots")" </dev/null 2>&1 | iconv -f GBK -t UTF-8 -c | tr -d '\r'
status=${PIPESTATUS[0]}
set -e

shopt -s nullglob
for bmp in "$out/screenshots"/*.bmp; do
  convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
done
echo "murrow gui test: $(ls "$out/screenshots"/*.png 2>/dev/null | wc -l) screenshots in $out/screenshots"
exit $status
