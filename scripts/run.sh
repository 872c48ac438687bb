#!/usr/bin/env bash
# The main job: builds the command-line host of the filter and runs the
# bundled sample requests through a module folder with the default settings
# (no ZelkWAF.ini, an empty event log), printing what happens to each request
# and the event log lines the filter wrote.
set -euo pipefail
cd "$(dirname "$0")/.."
ZELK_SETUP_WINDOWS=0 bash scripts/setup.sh

cmake --preset native >/dev/null
cmake --build --preset native --target zelkwaf-filter -j "$(nproc)" >/dev/null

module_dir=$(mktemp -d)
trap 'rm -rf "$module_dir"' EXIT
: >"$module_dir/ZelkWAFLog.txt"

echo "== requests (testdata/sample-requests.txt) through the default settings"
build/native/filter/host/zelkwaf-filter --module-dir "$module_dir" --batch testdata/sample-requests.txt
echo
echo "== one blocked request as the client receives it"
response=$(printf 'GET /news.asp?id=1%%20and%%201=1 HTTP/1.1\r\nHost: www.example.com\r\n\r\n' |
  build/native/filter/host/zelkwaf-filter --module-dir "$module_dir" --remote-addr 192.0.2.10 |
  iconv -f GBK -t UTF-8 || true)
printf '%s\n' "${response:0:600} ..."
echo
echo "== event log (ZelkWAFLog.txt, GBK, shown as UTF-8)"
iconv -f GBK -t UTF-8 "$module_dir/ZelkWAFLog.txt"
