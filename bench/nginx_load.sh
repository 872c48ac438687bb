#!/usr/bin/env bash
# Load figures of the nginx module: requests per second that wrk gets from
# nginx serving the demo site on loopback, with the module off and on, for a
# static file and for a script URL with a 100-byte query, with one worker and
# with two, and the workers' CPU time per request. Prints a table with the
# module's overhead in percent.
#
#   bash bench/nginx_load.sh                # 5 s per run, 3 rounds, median kept
#   DURATION=10 ROUNDS=5 bash bench/nginx_load.sh
#   PIN=0 bash bench/nginx_load.sh        # one worker not pinned to its own core
#
# Each run is bounded by DURATION seconds. Off and on alternate within a
# round, in the opposite order every other round, so that drift on a shared
# machine hits both alike; each overhead is the median of the rounds' own
# overheads (each round compares its off run with its on run). wrk and nginx
# share the machine's cores, so figures are for comparing off with on, not
# absolute.
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
nginx_cpu="" wrk_cpu=""
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

# start_nginx WORKERS on|off [valgrind]
start_nginx() {
  sed -e "s|@MODULE_PATH@|$module|" -e "s|@PREFIX@|$work/|g" -e "s|@PORT@|$port|" \
    -e "s|@SITE@|$PWD/demo/site|" -e "s|@MODULE_DIR@|$work/module/|" -e "s|@WORKERS@|$1|" \
    -e "s|@USER_LINE@|$user_line|" -e "s|zelkwaf on;|zelkwaf $2;|" \
    -e "s|access_log .*;|access_log off;|" demo/site.conf >"$work/nginx.conf"
  if [[ ${3:-} == valgrind ]]; then
    valgrind -q --tool=callgrind --callgrind-out-file="$work/callgrind.out.%p" \
      /usr/sbin/nginx -p "$work/" -c "$work/nginx.conf" -e "$work/error.log" \
      -g 'master_process off;' &
  else
    $nginx_cpu /usr/sbin/nginx -p "$work/" -c "$work/nginx.conf" -e "$work/error.log" &
  fi
  nginx_pid=$!
  for _ in $(seq 600); do
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

worker_cpu_ns() {  # CPU time the workers have used so far, in nanoseconds
  local total=0 pid
  for pid in $(pgrep -P "$nginx_pid"); do
    total=$((total + $(cut -d' ' -f1 "/proc/$pid/schedstat")))
  done
  echo "$total"
}

worker_user_ticks() {  # user-mode CPU time the workers have used so far, in clock ticks
  local total=0 pid
  for pid in $(pgrep -P "$nginx_pid"); do
    total=$((total + $(awk '{print $14}' "/proc/$pid/stat")))
  done
  echo "$total"
}
ticks_per_second=$(getconf CLK_TCK)

# url -> "requests/s workers'-CPU-us/request workers'-user-CPU-us/request"
measure() {
  local before after user_before user_after out
  before=$(worker_cpu_ns) user_before=$(worker_user_ticks)
  out=$($wrk_cpu wrk -t"$threads" -c"$connections" -d"${duration}s" "$1")
  after=$(worker_cpu_ns) user_after=$(worker_user_ticks)
  awk -v cpu=$((after - before)) -v user=$((user_after - user_before)) -v hz="$ticks_per_second" '
    /requests in/ {n = $1}
    /^Requests\/sec:/ {rps = $2}
    END {printf "%s %.2f %.3f\n", rps, cpu / 1000 / n, user * 1e6 / hz / n}' <<<"$out"
}

median() { printf '%s\n' "$@" | sort -g | awk '{a[NR]=$1} END {print (NR%2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }
overhead() { awk -v off="$1" -v on="$2" -v sign="$3" 'BEGIN {printf "%+.1f%%", sign * (on - off) * 100 / off}'; }
# The median of the rounds' own overheads: sign * (on - off) / base, in percent,
# from lists of per-round off, on and base figures.
paired_overhead() {  # "offs" "ons" "bases" sign
  local -a offs=($1) ons=($2) bases=($3)
  local k values=()
  for k in "${!offs[@]}"; do
    values+=("$(awk -v off="${offs[k]}" -v on="${ons[k]}" -v base="${bases[k]}" -v sign="$4" \
      'BEGIN {printf "%.4f", sign * (on - off) * 100 / base}')")
  done
  printf '%+.1f%%' "$(median "${values[@]}")"
}

echo "wrk -t$threads -c$connections, ${duration} s per run, median of $rounds rounds; $(nproc) cores, load $(cut -d' ' -f1 /proc/loadavg)"
echo "req/s: wrk's throughput; cpu us/req: the nginx workers' CPU time per request (steadier"
echo "than req/s when other programs share the machine). Overhead: the module's cost, on vs off."
echo "module: the workers' user-mode CPU time per request, on minus off, as a share of the whole"
echo "CPU time per request off (the module makes no system calls of its own on a passing request,"
echo "so this leaves out the kernel's run-to-run variation, the largest noise in the other columns)."
printf '%-7s %-6s | %9s %9s %8s | %8s %8s %8s | %8s %8s %7s\n' workers url "req/s off" "req/s on" \
  overhead "cpu off" "cpu on" overhead "user off" "user on" module
for workers in 1 2; do
  # One worker gets a core of its own and wrk the other, so that the two do
  # not take turns on one core: req/s then measures the worker alone. Two
  # workers share both cores with wrk.
  nginx_cpu="" wrk_cpu=""
  if ((workers == 1)) && [[ ${PIN:-1} == 1 ]] && (($(nproc) >= 2)) && command -v taskset >/dev/null; then
    nginx_cpu="taskset -c 1" wrk_cpu="taskset -c 0"
  fi
  declare -A rps=() cpu=() user=()
  for ((round = 0; round < rounds; round++)); do
    modes="off on"
    ((round % 2)) && modes="on off"
    for mode in $modes; do
      start_nginx "$workers" "$mode"
      for kind in static script; do
        url=$static_url
        [[ $kind == script ]] && url=$script_url
        read -r r c u < <(measure "$url")
        rps[${kind}_$mode]+=" $r"
        cpu[${kind}_$mode]+=" $c"
        user[${kind}_$mode]+=" $u"
      done
      stop_nginx
    done
  done
  for kind in static script; do
    # shellcheck disable=SC2086
    r_off=$(median ${rps[${kind}_off]}) r_on=$(median ${rps[${kind}_on]})
    # shellcheck disable=SC2086
    c_off=$(median ${cpu[${kind}_off]}) c_on=$(median ${cpu[${kind}_on]})
    # shellcheck disable=SC2086
    u_off=$(median ${user[${kind}_off]}) u_on=$(median ${user[${kind}_on]})
    printf '%-7s %-6s | %9.0f %9.0f %8s | %8.2f %8.2f %8s | %8.3f %8.3f %7s\n' "$workers" "$kind" \
      "$r_off" "$r_on" "$(paired_overhead "${rps[${kind}_off]}" "${rps[${kind}_on]}" "${rps[${kind}_off]}" -1)" \
      "$c_off" "$c_on" "$(paired_overhead "${cpu[${kind}_off]}" "${cpu[${kind}_on]}" "${cpu[${kind}_off]}" 1)" \
      "$u_off" "$u_on" "$(paired_overhead "${user[${kind}_off]}" "${user[${kind}_on]}" "${cpu[${kind}_off]}" 1)"
  done
  unset rps cpu user
done
# The same comparison in instructions, which other programs on the machine do
# not disturb: nginx runs as one process under callgrind, the counters are
# zeroed after start-up and a warm-up, and the instructions it executes for a
# fixed number of requests are divided by that number.
instructions_per_request() {  # on|off url
  start_nginx 1 "$1" valgrind
  for _ in $(seq 50); do curl -s -o /dev/null "$2"; done
  callgrind_control -z "$nginx_pid" >/dev/null 2>&1
  wrk -t1 -c4 -d"${duration}s" "$2" >"$work/wrk.out"
  callgrind_control -d "$nginx_pid" >/dev/null 2>&1
  local n ir
  n=$(awk '/requests in/ {print $1}' "$work/wrk.out")
  ir=$(for f in "$work"/callgrind.out*; do awk '/^(summary|totals):/ {print $2}' "$f"; done | sort -g | tail -1)
  stop_nginx
  rm -f "$work"/callgrind.out*
  awk -v ir="$ir" -v n="$n" 'BEGIN {printf "%.0f", ir / n}'
}
if command -v callgrind_control >/dev/null; then
  echo
  echo "instructions per request (callgrind, one process, ${duration} s of wrk -c4 after a warm-up)"
  printf '%-6s | %10s %10s %8s\n' url "off" "on" overhead
  for kind in static script; do
    url=$static_url
    [[ $kind == script ]] && url=$script_url
    i_off=$(instructions_per_request off "$url")
    i_on=$(instructions_per_request on "$url")
    printf '%-6s | %10s %10s %8s\n' "$kind" "$i_off" "$i_on" "$(overhead "$i_off" "$i_on" 1)"
  done
fi

# The script URL is clean: the module must have let every request through.
if [[ -s $work/module/ZelkWAFLog.txt ]]; then
  echo "unexpected event log lines:" >&2
  iconv -f GBK -t UTF-8 "$work/module/ZelkWAFLog.txt" >&2
  exit 1
fi
