#!/usr/bin/env bash
# Configures and builds zupdater.exe and its tests for 32-bit Windows.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${ZUPDATER_BUILD_DIR:-$root/build/win}
package_tool=$("$root/scripts/build-tools.sh")
cmake -S "$root" -B "$build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DZUPDATER_PACKAGE_TOOL="$package_tool" "$@" >/dev/null
cmake --build "$build"
