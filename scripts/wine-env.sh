# Sourced by the scripts that run Windows programs: decides the architecture
# the tests run as (scripts/target-arch.sh, once per run), the build folder
# and Wine prefix that go with it, and the Wine loader.
#   ZUPDATER_TEST_ARCH   i686 or x86_64
#   ZUPDATER_RUN_DIR     the build folder whose programs run here
#   WINEPREFIX, WINEARCH the prefix for that architecture
zu_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
if [ -z "${ZUPDATER_TEST_ARCH:-}" ]; then
  ZUPDATER_TEST_ARCH=$("$zu_root/scripts/target-arch.sh")
fi
export ZUPDATER_TEST_ARCH
if [ "$ZUPDATER_TEST_ARCH" = x86_64 ]; then
  export ZUPDATER_RUN_DIR=${ZUPDATER_BUILD_DIR:-$zu_root/build/win64}
  export WINEPREFIX=${ZUPDATER_WINEPREFIX:-$zu_root/build/wineprefix64}
  export WINEARCH=win64
  # Debian's wine script picks the 32-bit loader whenever it is installed,
  # even where it cannot run: put a wine that is always the 64-bit one first.
  zu_shim="$zu_root/build/wine64-bin"
  if [ ! -x "$zu_shim/wine-stable" ]; then
    mkdir -p "$zu_shim"
    printf '#!/bin/sh\nexec /usr/lib/wine/wine64 "$@"\n' >"$zu_shim/wine"
    cp "$zu_shim/wine" "$zu_shim/wine-stable"
    chmod +x "$zu_shim/wine" "$zu_shim/wine-stable"
  fi
  case ":$PATH:" in *":$zu_shim:"*) ;; *) export PATH="$zu_shim:$PATH" ;; esac
  export WINELOADER=/usr/lib/wine/wine64
else
  export ZUPDATER_RUN_DIR=${ZUPDATER_BUILD_DIR:-$zu_root/build/win}
  export WINEPREFIX=${ZUPDATER_WINEPREFIX:-$zu_root/build/wineprefix}
  export WINEARCH=win32
fi
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree=;mshtml="}
