#!/usr/bin/env bash
# Sourced by the GUI test: an X server (Xvfb) and a Wine prefix set up for
# screenshots of the manager: Wine's virtual desktop, Chinese fonts for
# "宋体", Tahoma and Marlett in the prefix.
#
#   source wine-gui-env.sh <prefix folder> <display number>
#
# Leaves WINEPREFIX, DISPLAY, LC_ALL exported and XVFB_PID set; call
# gui_env_stop at the end.
set -euo pipefail
gui_prefix=$(realpath -m "$1")
gui_display=":$2"
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(cd "$here/../../.." && pwd)

export WINEPREFIX=$gui_prefix WINEDEBUG=${WINEDEBUG:--all} LC_ALL=zh_CN.UTF-8
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
export DISPLAY=$gui_display

Xvfb "$gui_display" -screen 0 1024x768x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
XVFB_PID=$!
for _ in $(seq 100); do
  [[ -e /tmp/.X11-unix/X${gui_display#:} ]] && break
  sleep 0.1
done

bash "$repo/scripts/wine-prepare.sh" "$gui_prefix"

if [[ ! -f $gui_prefix/.zelk-gui ]]; then
  fonts=$gui_prefix/drive_c/windows/Fonts
  mkdir -p "$fonts"
  for f in /usr/share/wine/fonts/tahoma.ttf /usr/share/wine/fonts/tahomabd.ttf /usr/share/wine/fonts/marlett.ttf \
           /usr/share/fonts/truetype/wqy/wqy-zenhei.ttc; do
    [[ -f $f ]] && cp -f "$f" "$fonts/"
  done
  reg=$(mktemp --suffix=.reg)
  # regedit reads version-5 files as UTF-16LE with a byte-order mark.
  { printf '\xff\xfe'; iconv -f UTF-8 -t UTF-16LE <<'REG'
Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\Software\Wine\Explorer]
"Desktop"="Default"

[HKEY_CURRENT_USER\Software\Wine\Explorer\Desktops]
"Default"="800x600"

[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes]
"宋体"="WenQuanYi Zen Hei Sharp"
"SimSun"="WenQuanYi Zen Hei Sharp"
"MS Sans Serif"="Tahoma"
"MS Shell Dlg"="Tahoma"
"MS Shell Dlg 2"="Tahoma"

[HKEY_CURRENT_USER\Control Panel\Desktop]
"FontSmoothing"="2"
"FontSmoothingType"=dword:00000002
"FontSmoothingGamma"=dword:00000578
"FontSmoothingOrientation"=dword:00000001

[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Decorated"="Y"
"Managed"="N"
REG
  } >"$reg"
  /usr/lib/wine/wine64 regedit /S "Z:${reg//\//\\}" </dev/null >/dev/null 2>&1 || true
  rm -f "$reg"
  # The desktop process wineboot started predates the virtual-desktop
  # setting: restart the prefix's server so that the next program gets it.
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  bash "$repo/scripts/wine-prepare.sh" "$gui_prefix"
  touch "$gui_prefix/.zelk-gui"
fi

gui_env_stop() {
  wineserver -k 2>/dev/null || true
  kill "$XVFB_PID" 2>/dev/null || true
  wait "$XVFB_PID" 2>/dev/null || true
}
