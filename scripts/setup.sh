#!/usr/bin/env bash
# Prepares a Debian machine to build and test zupdater: packages, a cross-built
# libcrypto (with its assembly) for the i686 and x86_64 Windows targets, and
# the Wine prefix the tests run in.
# Safe to run again: every step checks whether its work is already done.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
# --demo: only what the demo builds and runs (the updater for the
# architecture that runs here, its fixtures and the site): no fuzzing
# compiler, no second libcrypto.
demo=0
[ "${1:-}" = --demo ] && demo=1
# ZUPDATER_DEPS_DIR puts the cross-built libcrypto elsewhere (the CMake build
# reads the same variable), e.g. to try a new build of it beside a shared one.
deps=${ZUPDATER_DEPS_DIR:-$root/.deps}
mkdir -p "$deps"

# fonts-wine: Wine's own fonts (without its Marlett the caption buttons draw
# as letters); osslsigncode: release builds signed with --sign.
packages=(
  build-essential cmake ninja-build pkg-config dpkg-dev
  g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686 mingw-w64-i686-dev
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev
  wine wine32:i386 wine64 fonts-wine
  xvfb xauth xdotool imagemagick
  gcab libgcab-dev libssl-dev zlib1g-dev openssl
  googletest python3 curl
  nginx osslsigncode
)
[ $demo = 1 ] || packages+=(clang libclang-rt-dev)

as_root() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi; }

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
# libcrypto for the shipped i686 target, and for x86_64, where the tests run
# on machines without a 32-bit mode.
# It is built with its x86 assembly (the signature check's SHA-1 and RSA
# need it) and without what the updater never calls (TLS, engines, loadable
# modules, the configuration file, error texts, threads, the ciphers, digests
# and key types other than SHA-1 and RSA need): every self-update downloads
# the program. A library without the marker was built otherwise and is
# rebuilt once.
asm_marker=built-with-asm-trimmed
crypto_options=(
  no-shared no-tests no-dso no-engine no-ui-console no-async no-sock no-ssl no-tls no-dtls
  no-deprecated no-module no-legacy no-autoload-config no-err no-filenames no-threads
  no-multiblock no-aria no-bf no-blake2 no-camellia no-cast no-chacha no-cmac no-cms no-cmp
  no-comp no-ct no-des no-dh no-dsa no-ec no-ec2m no-gost no-idea no-md4 no-mdc2 no-ocb no-ocsp
  no-poly1305 no-rc2 no-rc4 no-rc5 no-rmd160 no-scrypt no-seed no-siphash no-siv no-sm2 no-sm3
  no-sm4 no-srp no-srtp no-ts no-whirlpool
)
need_src=0
libs=(openssl-mingw openssl-mingw64)
if [ $demo = 1 ]; then
  # The demo runs one build: the one whose programs run on this machine.
  source "$root/scripts/wine-env.sh"
  [ "$ZUPDATER_TEST_ARCH" = x86_64 ] && libs=(openssl-mingw64) || libs=(openssl-mingw)
fi
for lib in "${libs[@]}"; do
  [ -f "$deps/$lib/lib/libcrypto.a" ] && [ -f "$deps/$lib/$asm_marker" ] || need_src=1
done
if [ ${#missing[@]} -gt 0 ] || [ $need_src = 1 ]; then
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    as_root dpkg --add-architecture i386
  fi
  # Source lines let us cross-build libcrypto from Debian's own openssl source.
  src=/etc/apt/sources.list.d/debian.sources
  if [ -f "$src" ] && ! grep -q 'deb-src' "$src"; then
    as_root sed -i 's/^Types: deb$/Types: deb deb-src/' "$src"
  fi
  as_root apt-get update -q
  if [ ${#missing[@]} -gt 0 ]; then
    DEBIAN_FRONTEND=noninteractive as_root apt-get install -y -q --no-install-recommends "${missing[@]}"
  fi
fi
echo "setup: packages took $SECONDS s"
crypto_start=$SECONDS

# libcrypto for the targets, once per machine.
if [ $need_src = 1 ]; then
  work="$deps/openssl-src"
  rm -rf "$work"; mkdir -p "$work"
  (
    cd "$work"
    # The newest version's files may be missing or broken on the mirror: take the
    # first version listed whose original tarball downloads and unpacks.
    unpacked=0
    for v in "" $(apt-cache showsrc openssl | awk '/^Version:/{print $2}'); do
      rm -rf ./*
      apt-get source --download-only "openssl${v:+=$v}" >/dev/null 2>&1 || true
      tarball=$(ls openssl_*.orig.tar.gz 2>/dev/null | head -n 1)
      [ -n "$tarball" ] && tar xzf "$tarball" 2>/dev/null && { unpacked=1; break; }
    done
    [ $unpacked = 1 ] || { echo "setup: could not fetch Debian's openssl source" >&2; exit 1; }
    src=$(ls -d "$work"/openssl-*/)
    for target in "mingw i686 openssl-mingw" "mingw64 x86_64 openssl-mingw64"; do
      read -r config arch lib <<<"$target"
      [[ " ${libs[*]} " == *" $lib "* ]] || continue
      [ -f "$deps/$lib/lib/libcrypto.a" ] && [ -f "$deps/$lib/$asm_marker" ] && continue
      rm -rf "$work/build-$arch"; cp -r "$src" "$work/build-$arch"
      cd "$work/build-$arch"
      ./Configure "$config" "${crypto_options[@]}" --cross-compile-prefix="$arch-w64-mingw32-" \
        --prefix="$deps/$lib" >/dev/null
      make -s -j"$(nproc)" build_generated >/dev/null
      make -s -j"$(nproc)" libcrypto.a >/dev/null
      # Replaced whole, so nothing of a build without assembly stays.
      rm -rf "${deps:?}/$lib"
      mkdir -p "$deps/$lib/lib" "$deps/$lib/include"
      cp -r include/openssl "$deps/$lib/include/"
      cp libcrypto.a "$deps/$lib/lib/"
      touch "$deps/$lib/$asm_marker"
    done
  )
  rm -rf "$work"
fi
echo "setup: libcrypto took $((SECONDS - crypto_start)) s"

# The test Wine prefix (of the architecture the tests run as here) lives in
# the build tree; scripts/wine-prefix.sh makes it on demand.
"$root/scripts/wine-prefix.sh"
