#!/usr/bin/env bash
# Builds what a vendor ships: the 32-bit zupdater.exe with the vendor's
# public package key compiled in, without the tests, in a folder of its own
# (build/release, or ZUPDATER_RELEASE_DIR), and prints its path.
#   scripts/build-release.sh VENDOR_PUBLIC.pem [-DZUPDATER_UPDATE_HOST=HOST] [-DZUPDATER_WEB_HOST=HOST]...
# Extra arguments go to CMake. scripts/setup.sh must have run once.
set -euo pipefail
root=$(cd -P "$(dirname "$0")/.." && pwd)
key=${1:?usage: build-release.sh VENDOR_PUBLIC.pem [-DNAME=VALUE...]}
shift
[ -f "$key" ] || { echo "build-release: no such key file: $key" >&2; exit 1; }
key=$(cd "$(dirname "$key")" && pwd)/$(basename "$key")
release=${ZUPDATER_RELEASE_DIR:-$root/build/release}
package_tool=$("$root/scripts/build-tools.sh" zpkg)
cmake -S "$root" -B "$release" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" -DCMAKE_BUILD_TYPE=Release \
  -DZUPDATER_PACKAGE_TOOL="$package_tool" -DZUPDATER_BUILD_TESTS=OFF -DZUPDATER_TEST_HOOKS=OFF \
  -DZUPDATER_PACKAGE_KEY="$key" "$@" >/dev/null
cmake --build "$release" --target zupdater >&2
"$root/scripts/check-imports.sh" "$release/zupdater.exe" i686 release >&2
echo "$release/zupdater.exe"
