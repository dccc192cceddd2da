#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test: the
# vendor tool's native tests (under AddressSanitizer), then the updater's
# under Wine.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh"
host=$(dirname "$("$root/scripts/build-tools.sh")")
ctest --test-dir "$host" --output-on-failure
# The tests share the build folder (the write check looks at it): one at a time.
"$root/scripts/with-wine.sh" ctest --test-dir "${ZUPDATER_BUILD_DIR:-$root/build/win}" --output-on-failure
