#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test under Wine.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh"
# The tests share the build folder (the write check looks at it): one at a time.
"$root/scripts/with-wine.sh" ctest --test-dir "${ZUPDATER_BUILD_DIR:-$root/build/win}" --output-on-failure
