#!/usr/bin/env bash
# Configures and builds zupdater.exe and its tests for 32-bit Windows
# (build/win). Where this machine cannot run 32-bit programs, the same
# sources and tests are also built for 64-bit Windows (build/win64) so that
# they can run under Wine here. Extra arguments go to both configures.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/wine-env.sh"
package_tool=$("$root/scripts/build-tools.sh")
configure_and_build() {
  local build=$1 arch=$2
  shift 2
  cmake -S "$root" -B "$build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$arch.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DZUPDATER_PACKAGE_TOOL="$package_tool" -DZUPDATER_TEST_HOOKS=ON "$@" >/dev/null
  cmake --build "$build"
}
if [ "$ZUPDATER_TEST_ARCH" = x86_64 ]; then
  configure_and_build "$root/build/win" i686 "$@"
  configure_and_build "$ZUPDATER_RUN_DIR" x86_64 "$@"
else
  configure_and_build "$ZUPDATER_RUN_DIR" i686 "$@"
fi
