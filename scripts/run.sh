#!/usr/bin/env bash
# The main job: a web site protected by ZelkWAF on 127.0.0.1. Builds the nginx
# module, starts Debian's nginx in the foreground serving the demo site
# (demo/site/, configuration demo/site.conf) with the module and a module
# folder holding the default settings (no ZelkWAF.ini, an empty event log),
# sends the bundled sample requests with curl and prints what became of each,
# then the event log; then keeps serving until Ctrl+C.
#
#   bash scripts/run.sh          serve until Ctrl+C (open the printed address)
#   bash scripts/run.sh --once   replay the requests, print, stop
set -euo pipefail
cd "$(dirname "$0")/.."

once=0
case "${1:-}" in
  --once) once=1 ;;
  "") ;;
  *)
    echo "usage: bash scripts/run.sh [--once]" >&2
    exit 2
    ;;
esac

ZELK_SETUP_WINDOWS=0 bash scripts/setup.sh
cmake --preset native >/dev/null
cmake --build --preset native --target ngx_http_zelkwaf_module -j "$(nproc)" >/dev/null
module=$PWD/build/native/filter/nginx/ngx_http_zelkwaf_module.so

# Everything the server writes lives in one temporary folder: configuration,
# pid, logs, temporary files and the module folder.
work=$(mktemp -d)
module_dir=$work/module/
mkdir -p "$module_dir"
: >"$module_dir/ZelkWAFLog.txt"

port_taken() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }
port=8080
if port_taken "$port"; then
  port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
  echo "== 127.0.0.1:8080 is taken; using port $port"
fi

user_line=""
[[ $(id -u) -eq 0 ]] && user_line="user root;"  # else the workers run as nobody
sed -e "s|@MODULE_PATH@|$module|" -e "s|@PREFIX@|$work/|g" -e "s|@PORT@|$port|" \
  -e "s|@SITE@|$PWD/demo/site|" -e "s|@MODULE_DIR@|$module_dir|" -e "s|@WORKERS@|2|" \
  -e "s|@USER_LINE@|$user_line|" demo/site.conf >"$work/nginx.conf"

nginx_pid=""
stop() {
  if [[ -n $nginx_pid ]] && kill -0 "$nginx_pid" 2>/dev/null; then
    kill -TERM "$nginx_pid" 2>/dev/null || true
    wait "$nginx_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap stop EXIT
trap 'echo; echo "== stopping nginx"; exit 0' INT TERM

/usr/sbin/nginx -p "$work/" -c "$work/nginx.conf" -e "$work/error.log" &
nginx_pid=$!
for _ in $(seq 200); do
  port_taken "$port" && break
  kill -0 "$nginx_pid" 2>/dev/null || { cat "$work/error.log" >&2; exit 1; }
  sleep 0.05
done
port_taken "$port" || { echo "nginx does not listen on port $port" >&2; cat "$work/error.log" >&2; exit 1; }
base=http://127.0.0.1:$port
echo "== nginx $(/usr/sbin/nginx -v 2>&1 | sed 's|.*/||') with ngx_http_zelkwaf_module on $base (2 workers)"

# What the client sees tells the verdict: the block page (title and red
# reason) is the module's answer; the masked page carries the reason 访问限制.
title=$(printf 'Zelk盾_拦截提示' | iconv -f UTF-8 -t GBK)
masked=$(printf '<FONT color=red>访问限制</FONT>' | iconv -f UTF-8 -t GBK)
send() {  # method target [body]
  local method=$1 target=$2 body=${3-}
  local args=(-s -g --path-as-is -o "$work/reply" -w '%{http_code}' --request-target "$target"
    -H 'Host: localhost')
  if [[ $method == HEAD ]]; then
    args+=(--head)
  else
    args+=(-X "$method")
  fi
  if [[ $# -ge 3 ]]; then
    args+=(-H 'Content-Type: application/x-www-form-urlencoded' --data-binary "$body")
  fi
  local status verdict=passed
  status=$(curl "${args[@]}" "$base/") || status=---
  if LC_ALL=C grep -qF -- "$masked" "$work/reply" 2>/dev/null; then
    verdict=masked
  elif LC_ALL=C grep -qF -- "$title" "$work/reply" 2>/dev/null; then
    verdict=blocked
  fi
  printf '%-8s %s  %s %s\n' "$verdict" "$status" "$method" "$target"
}

echo "== sample requests (testdata/sample-requests.txt) sent with curl: verdict, status, request"
while IFS= read -r line || [[ -n $line ]]; do
  [[ -z $line ]] && continue
  request=${line%%$'\t'*}
  read -r -a words <<<"$request"
  if ((${#words[@]} == 1)); then words=(GET "${words[0]}"); fi
  if [[ $line == *$'\t'* ]]; then
    send "${words[0]}" "${words[1]}" "${line#*$'\t'}"
  else
    send "${words[0]}" "${words[1]}"
  fi
done <testdata/sample-requests.txt
echo "== answers of the site that the module masks"
send GET /secret/
send GET /broken.asp
echo
echo "== one blocked request as the client receives it (GBK, shown as UTF-8)"
curl -s -i -g "$base/news.asp?id=1%20union%20select%201,2" | iconv -f GBK -t UTF-8 | head -c 900
echo " ..."
echo
echo "== event log ($module_dir""ZelkWAFLog.txt, GBK, shown as UTF-8)"
iconv -f GBK -t UTF-8 "$module_dir/ZelkWAFLog.txt"

if ((once)); then
  exit 0
fi
echo
echo "== the protected site is up: open $base/ in a browser (Ctrl+C stops nginx)"
echo "   event log: $module_dir""ZelkWAFLog.txt"
wait "$nginx_pid"
