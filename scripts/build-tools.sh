#!/usr/bin/env bash
# Builds the vendor's package tool (and its tests) natively and prints its path. The cross
# build uses it to compile in the package key and to make test packages.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# Beside the cross build folder when one is named, so parallel builds stay apart.
host=${ZUPDATER_HOST_BUILD_DIR:-${ZUPDATER_BUILD_DIR:+$ZUPDATER_BUILD_DIR-host}}
host=${host:-$root/build/host}
cmake -S "$root/tools" -B "$host" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
# With a target name (zpkg), only that is built.
cmake --build "$host" ${1:+--target "$1"} >&2
echo "$host/zpkg"
