#!/usr/bin/env bash
# Makes a 32-bit Wine prefix at $1 once, without the Mono and Gecko installers.
set -euo pipefail
prefix=${1:?prefix path}
if [ ! -f "$prefix/system.reg" ]; then
  mkdir -p "$(dirname "$prefix")"
  WINEPREFIX="$prefix" WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=;mshtml=" \
    wineboot --init >/dev/null 2>&1 || true
  WINEPREFIX="$prefix" wineserver -w || true
fi
[ -f "$prefix/system.reg" ] || { echo "wine prefix not created at $prefix" >&2; exit 1; }
