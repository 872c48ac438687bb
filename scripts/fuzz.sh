#!/usr/bin/env bash
# Runs every fuzz target for SECONDS each (default 60), one after the other,
# starting from its seeds in fuzz/seeds/<target>/, and prints per target the
# inputs run and the coverage (edges) at the start, at the end and gained. Each target's corpus grows in
# build/fuzz/corpus/<target>/ (kept between runs); a failing input is written
# to build/fuzz/artifacts/<target>/ and fails the run: copy it into the seeds
# once the fault is fixed.
#
#   scripts/fuzz.sh [SECONDS] [TARGET...]
#   ZELK_FUZZ_BUILD=0 skips configuring and building (the caller did).
#   ZELK_FUZZ_TIMEOUT=N lets one input run N seconds (default 10; more on a
#   machine busy with other work, where an input can wait that long for CPU).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true

if [[ "${ZELK_FUZZ_BUILD:-1}" == 1 ]]; then
  cmake --preset fuzz >/dev/null
  cmake --build --preset fuzz -j "$(nproc)"
fi

bin=build/fuzz/fuzz
targets=("$@")
if ((${#targets[@]} == 0)); then
  for seeds in fuzz/seeds/*/; do targets+=("$(basename "$seeds")"); done
fi

# Longest input per target: the back-door scanner works in 64 KB blocks, so
# its inputs must be able to cross one.
max_len() {
  case $1 in
    backdoor) echo 80000 ;;
    *) echo 8192 ;;
  esac
}

status=0
printf '%-16s %12s %8s %8s %8s  %s\n' target execs cov_start cov_end cov_new result >&2
for t in "${targets[@]}"; do
  exe=$bin/fuzz_$t
  [[ -x $exe ]] || { echo "fuzz: no target $exe" >&2; status=1; continue; }
  corpus=build/fuzz/corpus/$t
  artifacts=build/fuzz/artifacts/$t
  mkdir -p "$corpus" "$artifacts"
  log=build/fuzz/$t.log
  result=ok
  "$exe" "$corpus" "fuzz/seeds/$t" -max_total_time="$seconds" -max_len="$(max_len "$t")" \
    -timeout="${ZELK_FUZZ_TIMEOUT:-10}" -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$artifacts/" \
    >"$log" 2>&1 || { result="FAILED (see $log)"; status=1; }
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  cov_start=$(sed -n 's/.*INITED cov: \([0-9]*\).*/\1/p' "$log" | head -1)
  cov_end=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' "$log" | tail -1)
  new=$(( ${cov_end:-0} - ${cov_start:-0} ))
  printf '%-16s %12s %8s %8s %8s  %s\n' "$t" "${execs:-?}" "${cov_start:-?}" "${cov_end:-?}" "$new" \
    "$result" >&2
  if [[ $result != ok ]]; then grep -m3 -E 'ERROR|property failed|SUMMARY' "$log" >&2 || true; fi
done
exit $status
