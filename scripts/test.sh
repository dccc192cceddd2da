#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test: the
# vendor tool's native tests (under AddressSanitizer), the fuzz targets' seed
# corpora (natively, under the sanitizers), then the updater's under Wine.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# Layers first: it needs nothing installed and fails in a second.
"$root/scripts/check-layers.sh"
"$root/scripts/setup.sh"
source "$root/scripts/wine-env.sh"
echo "test: the tests run as $ZUPDATER_TEST_ARCH Windows programs in $ZUPDATER_RUN_DIR"
"$root/scripts/build.sh"
if [ "$ZUPDATER_TEST_ARCH" != i686 ]; then
  # What ships is still the 32-bit build: check that file as it is.
  "$root/scripts/check-imports.sh" "$root/build/win/zupdater.exe" i686
fi
host=$(dirname "$("$root/scripts/build-tools.sh")")
ctest --test-dir "$host" --output-on-failure
# README's vendor commands, as they stand: a release build with a vendor's
# key, version and signature, a site made and checked with it; first the
# release build's refusals.
"$root/tests/docs/build_release_options.sh"
"$root/tests/docs/vendor_commands.sh" "$ZUPDATER_RUN_DIR" "$host/zpkg"
# The fuzz targets' seed corpora, replayed natively under the sanitizers.
fuzz_build="$root/build/fuzz"
cmake -S "$root/tests/fuzz" -B "$fuzz_build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$fuzz_build"
ctest --test-dir "$fuzz_build" --output-on-failure
# The Windows tests, side by side in lanes of their own (a prefix, wineserver
# and display each); those that share the test programs' folder hold a lock.
lanes=${ZUPDATER_TEST_LANES:-2}
run_windows_tests() {
  ZUPDATER_TEST_LANES=$lanes "$root/scripts/with-wine.sh" bash -c '
    ctest --test-dir "$ZUPDATER_RUN_DIR" --output-on-failure -j "$(($1 + 1))" \
      --resource-spec-file "$ZUPDATER_LANES_DIR/resources.json"' lanes "$lanes"
}
run_windows_tests || {
  status=$?
  "$root/scripts/show-failures.sh" "$ZUPDATER_RUN_DIR"
  exit $status
}
if [ "$ZUPDATER_TEST_ARCH" != i686 ]; then
  echo "test: the shipped i686 build was built and checked, not run: the tests ran its x86_64 twin (docs/development.md says why)"
fi
