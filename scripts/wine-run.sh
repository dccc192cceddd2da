#!/usr/bin/env bash
# Runs a Windows program under Wine in the project's test prefix, quietly.
root=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX=${ZUPDATER_WINEPREFIX:-$root/build/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree=;mshtml="}
"$root/scripts/wine-prefix.sh" "$WINEPREFIX"
exec wine "$@"
