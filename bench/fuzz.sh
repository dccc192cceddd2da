#!/usr/bin/env bash
# Runs every fuzz target (tests/fuzz/) for a while, one after the other, each
# on a copy of its seed corpus, and prints the executions, the coverage and
# the findings of each. Findings (inputs that broke an invariant or crashed)
# are kept in build/fuzz/findings/<target>/; each one becomes a test and a fix.
#   bench/fuzz.sh [seconds per target, default 60] [target...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
shift || true
build=${ZUPDATER_FUZZ_BUILD_DIR:-$root/build/fuzz}
cmake -S "$root/tests/fuzz" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf '%-18s %8s %12s %10s %6s %7s %9s\n' target seconds executions exec/s cov corpus findings
total_findings=0
while read -r target; do
  [ -n "$target" ] || continue
  corpus="$work/$target"
  findings="$build/findings/$target"
  # Only this run's findings count.
  rm -rf "$findings"
  mkdir -p "$corpus" "$findings"
  cp "$root/tests/fuzz/corpus/$target/"* "$corpus/"
  log="$work/$target.log"
  start=$(date +%s)
  # A finding stops the target early; its input lands in the findings folder.
  # The timeout is wall time: generous, so that a machine busy with other
  # work does not pass for a hang (every input here parses in milliseconds).
  "$build/${target}_fuzz" -max_total_time="$seconds" -print_final_stats=1 -timeout=60 \
    -rss_limit_mb=2048 -artifact_prefix="$findings/" "$corpus" >"$log" 2>&1 || true
  elapsed=$(($(date +%s) - start))
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -n 1 | awk '{print $2}')
  found=$(find "$findings" -type f | wc -l)
  total_findings=$((total_findings + found))
  printf '%-18s %8s %12s %10s %6s %7s %9s\n' "$target" "$elapsed" "${execs:-?}" "${rate:-?}" \
    "${cov:-?}" "$(ls "$corpus" | wc -l)" "$found"
  if [ "$found" -gt 0 ]; then
    grep -m 3 -E 'invariant failed|ERROR: (AddressSanitizer|libFuzzer)|runtime error' "$log" | sed 's/^/    /' || true
  fi
done < <(if [ $# -gt 0 ]; then printf '%s\n' "$@"; else cat "$build/fuzz_targets.txt"; fi)
echo "findings: $total_findings (kept in $build/findings/)"
