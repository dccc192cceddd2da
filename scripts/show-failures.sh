#!/usr/bin/env bash
# Prints again, at the end, what each failed test of a ctest run printed.
# ctest shows a failure's output when the test ends, often thousands of lines
# before the end of a long run, where a log that keeps only its tail loses it.
# Usage: show-failures.sh <ctest build folder>
set -uo pipefail
dir=${1:?usage: show-failures.sh <ctest build folder>}
failed="$dir/Testing/Temporary/LastTestsFailed.log"
log="$dir/Testing/Temporary/LastTest.log"
[ -s "$failed" ] && [ -f "$log" ] || exit 0
echo "==== what the failed tests printed ===="
# LastTestsFailed.log holds "<number>:<name>" lines; LastTest.log has one
# block per test, from "<number>/<total> Testing: <name>" to its result.
awk -F: 'NR == FNR { want[$1] = 1; next }
  /^[0-9]+\/[0-9]+ Testing: / { split($0, head, "/"); on = (head[1] in want) }
  on { print }
  on && /" end time: / { on = 0; print "" }' \
  "$failed" "$log"
