#!/usr/bin/env bash
# Load figures of the nginx module: requests per second that wrk gets from
# nginx serving the demo site on loopback, with the module off and on, for a
# static file and for a script URL with a 100-byte query, with one worker and
# with two. Prints a table with the module's overhead in percent.
#
#   bash bench/nginx_load.sh                # 5 s per run, 3 rounds, median kept
#   DURATION=10 ROUNDS=5 bash bench/nginx_load.sh
#
# Each run is bounded by DURATION seconds; off and on alternate within a
# round so that drift on a shared machine hits both alike. wrk and nginx share
# the machine's cores, so figures are for comparing off with on, not absolute.
set -euo pipefail
cd "$(dirname "$0")/.."

duration=${DURATION:-5}
rounds=${ROUNDS:-3}
connections=${CONNECTIONS:-32}
threads=${THREADS:-2}

command -v wrk >/dev/null || { echo "wrk is missing: bash scripts/setup.sh installs it" >&2; exit 1; }
cmake --preset native >/dev/null
cmake --build --preset native --target ngx_http_zelkwaf_module -j "$(nproc)" >/dev/null
module=$PWD/build/native/filter/nginx/ngx_http_zelkwaf_module.so

work=$(mktemp -d)
nginx_pid=""
stop_nginx() {
  if [[ -n $nginx_pid ]]; then
    kill -TERM "$nginx_pid" 2>/dev/null || true
    wait "$nginx_pid" 2>/dev/null || true
    nginx_pid=""
  fi
}
trap 'stop_nginx; rm -rf "$work"' EXIT

mkdir -p "$work/module"
: >"$work/module/ZelkWAFLog.txt"
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
user_line=""
[[ $(id -u) -eq 0 ]] && user_line="user root;"

# start_nginx WORKERS on|off
start_nginx() {
  sed -e "s|@MODULE_PATH@|$module|" -e "s|@PREFIX@|$work/|g" -e "s|@PORT@|$port|" \
    -e "s|@SITE@|$PWD/demo/site|" -e "s|@MODULE_DIR@|$work/module/|" -e "s|@WORKERS@|$1|" \
    -e "s|@USER_LINE@|$user_line|" -e "s|zelkwaf on;|zelkwaf $2;|" \
    -e "s|access_log .*;|access_log off;|" demo/site.conf >"$work/nginx.conf"
  /usr/sbin/nginx -p "$work/" -c "$work/nginx.conf" -e "$work/error.log" &
  nginx_pid=$!
  for _ in $(seq 200); do
    curl -s -o /dev/null "http://127.0.0.1:$port/index.htm" && return 0
    sleep 0.05
  done
  echo "nginx did not start:" >&2
  cat "$work/error.log" >&2
  exit 1
}

static_url="http://127.0.0.1:$port/images/banner.png"
query="id=12&page=2&keyword=$(printf 'a%.0s' $(seq 79))"  # 100 bytes
script_url="http://127.0.0.1:$port/news.asp?$query"
((${#query} == 100)) || { echo "query is ${#query} bytes" >&2; exit 1; }

rps() {  # url -> requests per second
  wrk -t"$threads" -c"$connections" -d"${duration}s" "$1" | awk '/^Requests\/sec:/ {print $2}'
}

median() { printf '%s\n' "$@" | sort -g | awk '{a[NR]=$1} END {print (NR%2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }

echo "wrk -t$threads -c$connections, ${duration} s per run, median of $rounds rounds; $(nproc) cores"
printf '%-8s %-7s %12s %12s %9s\n' workers url "module off" "module on" overhead
for workers in 1 2; do
  declare -A got=()
  for ((round = 0; round < rounds; round++)); do
    for mode in off on; do
      start_nginx "$workers" "$mode"
      got[static_$mode]+=" $(rps "$static_url")"
      got[script_$mode]+=" $(rps "$script_url")"
      stop_nginx
    done
  done
  for kind in static script; do
    # shellcheck disable=SC2086
    off=$(median ${got[${kind}_off]})
    # shellcheck disable=SC2086
    on=$(median ${got[${kind}_on]})
    overhead=$(awk -v a="$off" -v b="$on" 'BEGIN {printf "%.1f%%", (a - b) * 100 / a}')
    printf '%-8s %-7s %12.0f %12.0f %9s\n' "$workers" "$kind" "$off" "$on" "$overhead"
  done
  unset got
done
# The script URL is clean: the module must have let every request through.
if [[ -s $work/module/ZelkWAFLog.txt ]]; then
  echo "unexpected event log lines:" >&2
  iconv -f GBK -t UTF-8 "$work/module/ZelkWAFLog.txt" >&2
  exit 1
fi
