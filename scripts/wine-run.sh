#!/usr/bin/env bash
# Runs a Windows program under Wine in the project's test prefix, quietly.
source "$(dirname "$0")/wine-env.sh"
"$zu_root/scripts/wine-prefix.sh" "$WINEPREFIX"
exec wine "$@"
