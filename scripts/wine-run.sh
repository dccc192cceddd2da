#!/usr/bin/env bash
# Runs a Windows program under Wine in the project's test prefix, quietly.
# Wine's own error lines are kept aside: when the program fails, or ends
# before it wrote a line, they are shown with Wine's exit status, the prefix
# and how long the run took, so a program that never started says why.
source "$(dirname "$0")/wine-env.sh"
"$zu_root/scripts/wine-prefix.sh" "$WINEPREFIX"

# Wine's loader and server report a failed start through its error channels.
export WINEDEBUG=${ZUPDATER_WINEDEBUG:-err+all,fixme-all,warn-all,trace-all}
messages=$(mktemp "${TMPDIR:-/tmp}/zu-wine-XXXXXX")
output=$(mktemp "${TMPDIR:-/tmp}/zu-out-XXXXXX")
trap 'rm -f "$messages" "$output"' EXIT
start=$(date +%s%N)
wine "$@" 2>"$messages" | tee "$output"
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
