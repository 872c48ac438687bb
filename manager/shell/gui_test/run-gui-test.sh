#!/usr/bin/env bash
# The manager's window test under Wine and Xvfb: starts an X server and a
# Wine prefix with a virtual desktop and Chinese fonts, runs the driver
# (which starts ZelkWAF.exe in a fresh manager folder and works it through
# window messages), and turns the pictures of the ten pages (skin on and off)
# into PNG files.
#
#   run-gui-test.sh <ZelkWAF.exe> <gui driver.exe> <scanner stand-in.exe> <output folder>
#
# Exit status: the driver's (0 when every check held), 2 for usage errors.
set -euo pipefail
if [[ $# -ne 4 || $1 == -h || $1 == --help ]]; then
  echo "usage: $0 <ZelkWAF.exe> <gui driver.exe> <scanner stand-in.exe> <output folder>" >&2
  exit 2
fi
exe=$(realpath "$1") driver=$(realpath "$2") standin=$(realpath "$3")
out=$(realpath -m "$4")
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$out/work" "$out/screenshots"
mkdir -p "$out/work" "$out/screenshots"
# The scanner's built-in rules where the release folder has them, for the site
# monitor's back-door check.
mkdir -p "$out/work/manager dir/Murrow/rules"
cp "$here/../../../scanner/rules/"*.yar "$out/work/manager dir/Murrow/rules/"

# A display number of our own, so that parallel runs do not meet.
display=$(( 50 + $$ % 200 ))
while [[ -e /tmp/.X11-unix/X$display || -e /tmp/.X$display-lock ]]; do display=$((display + 1)); done
source "$here/wine-gui-env.sh" "$out/guiprefix" "$display"
trap gui_env_stop EXIT

win() { local p=$1; echo "Z:${p//\//\\}"; }
set +e
# The driver reports in GBK; the terminal reads UTF-8.
/usr/lib/wine/wine64 "$driver" "$(win "$exe")" "$(win "$standin")" "$(win "$out/work")" \
  "$(win "$out/screenshots")" </dev/null 2>&1 | iconv -f GBK -t UTF-8 -c | tr -d '\r'
status=${PIPESTATUS[0]}
set -e

shopt -s nullglob
for bmp in "$out/screenshots"/*.bmp; do
  convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
done
count=$(ls "$out/screenshots"/*.png 2>/dev/null | wc -l)
echo "gui test: $count screenshots (ten pages, skin on and off) in $out/screenshots"
exit $status
