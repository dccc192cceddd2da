#!/usr/bin/env bash
# Cuts whole runs of the full update site at every step, and kills them from
# outside at random instants, checking each time that every client file is
# whole (old or new), that zupdater.exe is a whole updater, and that the next
# run completes the update (tests/e2e/crash_test.cpp). Far longer than the
# test command, which cuts one step of each kind; run it after a change to
# how files or records are written. Build first (scripts/build.sh).
#
#   scripts/crash-sweep.sh [--steps-only | --kills-only] [--kills RUNS]
#                          [--minutes M] [--seed SEED] [--lanes N]
# RUNS: kills in all (default 300), shared by the lanes; M bounds each lane's
# kill loop (default 60); SEED makes the kill instants repeatable (printed).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
steps=1 kills=1 runs=300 minutes=60 seed=$(date +%s) lanes=2
while [ $# -gt 0 ]; do
  case $1 in
    --steps-only) kills=0 ;;
    --kills-only) steps=0 ;;
    --kills) runs=$2; shift ;;
    --minutes) minutes=$2; shift ;;
    --seed) seed=$2; shift ;;
    --lanes) lanes=$2; shift ;;
    *) echo "crash-sweep: unknown option $1" >&2; exit 2 ;;
  esac
  shift
done
source "$root/scripts/wine-env.sh"
[ -x "$ZUPDATER_RUN_DIR/tests/crash_e2etests.exe" ] || { echo "build first: scripts/build.sh" >&2; exit 1; }
filter=()
[ "$steps" = 1 ] && filter+=("CrashSweep")
[ "$kills" = 1 ] && filter+=("KillLoop")
regex=$(IFS='|'; echo "${filter[*]}")
log="$ZUPDATER_RUN_DIR/crash-sweep.log"
echo "crash-sweep: $lanes lanes, seed $seed; the whole output goes to $log"
start=$SECONDS
status=0
ZUPDATER_CRASH_SWEEP=$lanes ZUPDATER_KILL_SHARDS=$lanes ZUPDATER_KILL_SEED=$seed \
  ZUPDATER_KILL_RUNS=$(((runs + lanes - 1) / lanes)) ZUPDATER_KILL_MINUTES=$minutes \
  ZUPDATER_TEST_LANES=$lanes "$root/scripts/with-wine.sh" bash -c '
    ctest --test-dir "$ZUPDATER_RUN_DIR" -V -j "$(($1 + 1))" -R "$2" \
      --resource-spec-file "$ZUPDATER_LANES_DIR/resources.json"' lanes "$lanes" "$regex" \
  >"$log" 2>&1 || status=$?
# The figures each shard printed, and every failure with where it was cut.
grep -aoE '(crash sweep|kill loop): .*' "$log" | sed 's/\r$//' || true
grep -aE 'Failure$|cut at |seed [0-9]+ run [0-9]+ killed at' "$log" | sed 's/^[0-9]*: //' | sort -u | head -n 40 || true
grep -aE 'tests passed|tests failed' "$log" | tail -n 1
echo "crash-sweep: took $((SECONDS - start)) s"
exit "$status"
