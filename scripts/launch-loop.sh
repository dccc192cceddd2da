#!/usr/bin/env bash
# Starts a small test program many times through the test launcher, the way
# ctest starts every test, and reports how many starts failed and what the
# launcher said of each: a check that Wine starts programs reliably here.
# Run it beside the persistent wineserver the tests use, best while the
# machine is as busy as a full test run makes it:
#   scripts/with-wine.sh scripts/launch-loop.sh [starts] [side-by-side]
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/wine-env.sh"
starts=${1:-1000}
lanes=${2:-2}
program="$ZUPDATER_RUN_DIR/tests/common_unittests.exe"
[ -f "$program" ] || { echo "launch-loop: build first ($program is missing)" >&2; exit 2; }
report=$(mktemp -d)
trap 'rm -rf "$report"' EXIT

lane() {
  local n=$1 i out status
  for ((i = n; i < starts; i += lanes)); do
    out=$("$root/scripts/wine-run.sh" "$program" --gtest_filter='BoundedText*' 2>&1)
    status=$?
    if [ $status -ne 0 ] || ! grep -q '^\[  PASSED  \]' <<<"$out"; then
      printf '== start %d: status %d\n%s\n' "$i" "$status" "$out" >"$report/fail-$i"
    fi
  done
}
began=$(date +%s)
for ((n = 0; n < lanes; ++n)); do lane "$n" & done
wait
failed=$(find "$report" -name 'fail-*' | wc -l)
echo "launch-loop: $starts starts ($lanes side by side) in $(( $(date +%s) - began )) s," \
  "$failed failed"
for f in $(find "$report" -name 'fail-*' | sort | head -n 5); do cat "$f"; done
[ "$failed" -eq 0 ]
