#!/usr/bin/env bash
# Runs a Windows program under Wine in the project's test prefix, quietly.
# Wine's own error lines are kept aside: when the program fails, or ends
# before it wrote a line, they are shown with Wine's exit status, the prefix
# and how long the run took, so a program that never started says why.
source "$(dirname "$0")/wine-env.sh"
# The lane ctest gave the test (scripts/with-wine.sh describes the lanes): its
# own prefix, wineserver and display.
lanes_dir=${ZUPDATER_LANES_DIR:-$ZUPDATER_RUN_DIR/lanes-$(basename "$WINEPREFIX")}
lane_file() { echo "$lanes_dir/$1.env"; }
if [ -n "${CTEST_RESOURCE_GROUP_0_LANES:-}" ]; then
  lane=${CTEST_RESOURCE_GROUP_0_LANES#id:}
  lane=${lane%%,*}
  # shellcheck disable=SC1090
  source "$(lane_file "$lane")" || { echo "wine-run: no lane $lane" >&2; exit 1; }
  export WINEPREFIX DISPLAY
fi
# A fixture that sets up every lane's prefix (the test authority's trust)
# runs once in each, one after the other.
if [ "${ZUPDATER_EVERY_LANE:-0}" = 1 ] && [ -f "$(lane_file 0)" ]; then
  status=0
  for env in "$lanes_dir"/*.env; do
    lane=$(basename "$env" .env)
    CTEST_RESOURCE_GROUP_0_LANES="id:$lane,slots:1" ZUPDATER_EVERY_LANE=0 "$0" "$@" || status=$?
  done
  exit $status
fi
"$zu_root/scripts/wine-prefix.sh" "$WINEPREFIX"

# Wine's loader and server report a failed start through its error channels.
export WINEDEBUG=${ZUPDATER_WINEDEBUG:-err+all,fixme-all,warn-all,trace-all}
messages=$(mktemp "${TMPDIR:-/tmp}/zu-wine-XXXXXX")
output=$(mktemp "${TMPDIR:-/tmp}/zu-out-XXXXXX")
trap 'rm -f "$messages" "$output"' EXIT
# Debian's Wine has no preloader to reserve the low address ranges before
# Linux places anything there: with address randomisation the loader's heap
# now and then lands on the shared user data page, and Wine ends at once
# ("failed to map the shared user data"). Without randomisation it never
# does; the personality passes on to every program the run starts.
no_random=()
if command -v setarch >/dev/null; then
  no_random=(setarch "$(uname -m)" -R)
fi
start=$(date +%s%N)
"${no_random[@]}" wine "$@" 2>"$messages" | tee "$output"
status=${PIPESTATUS[0]}
elapsed_ms=$(( ($(date +%s%N) - start) / 1000000 ))

# Wine's debug lines ("0024:err:module:...") are noise when the program ran;
# anything else the program wrote to its error stream is passed on.
wine_line='^[0-9a-f]{4}:(err|fixme|warn|trace):'
grep -Ev "$wine_line" "$messages" >&2 || true
# A test program always writes GoogleTest's first line: one that wrote
# nothing did not run, whatever its status says.
case " $* " in *" --gtest_"*) [ -s "$output" ] || [ "$status" -ne 0 ] || status=125 ;; esac
if [ "$status" -ne 0 ]; then
  {
    if [ -s "$output" ]; then
      echo "wine-run: $1 ended with status $status after $elapsed_ms ms"
    else
      echo "wine-run: $1 ended with status $status after $elapsed_ms ms without writing a line" \
        "(it may never have started)"
    fi
    echo "wine-run: prefix $WINEPREFIX, loader ${WINELOADER:-wine}, display ${DISPLAY:-none}"
    if grep -Eq "$wine_line" "$messages"; then
      echo "wine-run: Wine's messages:"
      grep -E "$wine_line" "$messages" | head -n 60
    else
      echo "wine-run: Wine wrote no message"
    fi
  } >&2
fi
exit "$status"
