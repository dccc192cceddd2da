#!/usr/bin/env bash
# Builds what a vendor ships: the 32-bit zupdater.exe with the vendor's
# public package key compiled in and its version stamped, optionally signed
# with an Authenticode certificate, without the tests, in a folder of its own
# (build/release, or ZUPDATER_RELEASE_DIR), and prints its path.
#   scripts/build-release.sh [--version 1.2.0.0] [--sign CERT.pfx [--timestamp URL]]
#                            VENDOR_PUBLIC.pem [-DZUPDATER_UPDATE_HOST=HOST] [-DZUPDATER_WEB_HOST=HOST]...
# --version: four numbers up to 65535 (default 1.0.0.0); clients take the
#   updater only when it is higher than their own.
# --sign: scripts/sign-exe.sh signs the built file (password in
#   ZUPDATER_SIGN_PASSWORD); --timestamp names your authority's RFC 3161 server.
# Extra arguments go to CMake. scripts/setup.sh must have run once.
set -euo pipefail
root=$(cd -P "$(dirname "$0")/.." && pwd)
usage="usage: build-release.sh [--version 1.2.0.0] [--sign CERT.pfx [--timestamp URL]] VENDOR_PUBLIC.pem [-DNAME=VALUE...]"
version=1.0.0.0 cert="" timestamp=""
while [ $# -gt 0 ]; do
  case "$1" in
    --version) version=${2:?$usage}; shift 2 ;;
    --sign) cert=${2:?$usage}; shift 2 ;;
    --timestamp) timestamp=${2:?$usage}; shift 2 ;;
    --*) echo "build-release: unknown option $1" >&2; echo "$usage" >&2; exit 2 ;;
    *) break ;;
  esac
done
key=${1:?$usage}
shift
# The version clients compare: four numbers, each at most 65535.
if ! [[ $version =~ ^([0-9]{1,5})\.([0-9]{1,5})\.([0-9]{1,5})\.([0-9]{1,5})$ ]]; then
  echo "build-release: --version $version is not four numbers separated by dots (1.2.0.0)" >&2
  exit 1
fi
for part in "${BASH_REMATCH[@]:1}"; do
  if [ $((10#$part)) -gt 65535 ]; then
    echo "build-release: --version $version: each number is at most 65535" >&2
    exit 1
  fi
done
[ -f "$key" ] || { echo "build-release: no such key file: $key" >&2; exit 1; }
key=$(cd "$(dirname "$key")" && pwd)/$(basename "$key")
if [ -n "$cert" ]; then
  [ -f "$cert" ] || { echo "build-release: no such certificate file: $cert" >&2; exit 1; }
  command -v osslsigncode >/dev/null ||
    { echo "build-release: --sign needs osslsigncode (scripts/setup.sh installs it)" >&2; exit 1; }
elif [ -n "$timestamp" ]; then
  echo "build-release: --timestamp goes with --sign" >&2
  exit 1
fi
release=${ZUPDATER_RELEASE_DIR:-$root/build/release}
package_tool=$("$root/scripts/build-tools.sh" zpkg)
cmake -S "$root" -B "$release" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" -DCMAKE_BUILD_TYPE=Release \
  -DZUPDATER_PACKAGE_TOOL="$package_tool" -DZUPDATER_BUILD_TESTS=OFF -DZUPDATER_TEST_HOOKS=OFF \
  -DZUPDATER_PACKAGE_KEY="$key" -DZUPDATER_VERSION="$version" "$@" >/dev/null
cmake --build "$release" --target zupdater >&2
"$root/scripts/check-imports.sh" "$release/zupdater.exe" i686 release >&2
if [ -n "$cert" ]; then
  "$root/scripts/sign-exe.sh" "$cert" "$release/zupdater.exe" "$timestamp"
  # Signing appends to the file; its manifest and imports stay as built.
  "$root/scripts/check-imports.sh" "$release/zupdater.exe" i686 release >&2
fi
echo "$release/zupdater.exe"
