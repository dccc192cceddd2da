#!/usr/bin/env bash
# Makes the Wine prefix of the test architecture once (at $1, or the one
# scripts/wine-env.sh chooses), without the Mono and Gecko installers.
set -euo pipefail
source "$(dirname "$0")/wine-env.sh"
prefix=${1:-$WINEPREFIX}
if [ ! -f "$prefix/system.reg" ]; then
  mkdir -p "$(dirname "$prefix")"
  WINEPREFIX="$prefix" wineboot --init >/dev/null 2>&1 || true
  WINEPREFIX="$prefix" wineserver -w || true
fi
[ -f "$prefix/system.reg" ] || { echo "wine prefix not created at $prefix" >&2; exit 1; }
# Wine draws the caption buttons with its Marlett font (package fonts-wine);
# without it in the prefix they show as the letters "0 1 r".
marlett=/usr/share/wine/fonts/marlett.ttf
fonts="$prefix/drive_c/windows/Fonts"
if [ -f "$marlett" ] && [ ! -f "$fonts/marlett.ttf" ]; then
  mkdir -p "$fonts"
  cp "$marlett" "$fonts/marlett.ttf"
fi
