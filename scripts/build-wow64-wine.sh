#!/usr/bin/env bash
# Builds, once per machine, a 64-bit Wine whose 32-bit Windows side is PE
# (Wine's "new WoW64" mode): it runs the shipped i686 zupdater.exe where the
# kernel runs no 32-bit Linux program. Built from Debian's own wine source
# with Debian's patches and generated files, at the lowest CPU and disk
# priority, so it only takes what other work leaves idle.
#
# The finished Wine is installed into $ZUPDATER_WOW64_WINE
# (/opt/zupdater-wow64-wine) only once the build is whole: its bin/wine
# means a complete Wine. The source folder, where it is built, stays in
# $ZUPDATER_WOW64_WORK (/var/tmp/zupdater-wow64-build), so an interrupted
# build resumes where it stopped. Prints the wall and CPU time it took.
set -euo pipefail
# The whole script is read before it runs (main below): an edit of the file
# while a long build runs must not change what the running copy does.
main() {
  prefix=${ZUPDATER_WOW64_WINE:-/opt/zupdater-wow64-wine}
  work=${ZUPDATER_WOW64_WORK:-/var/tmp/zupdater-wow64-build}

  if [ -x "$prefix/bin/wine" ]; then
    echo "wow64-wine: already installed in $prefix"
    exit 0
  fi
  if [ "${ZUPDATER_WOW64_NICED:-0}" != 1 ]; then
    export ZUPDATER_WOW64_NICED=1
    exec nice -n 19 ionice -c3 "$0" "$@"
  fi
  as_root() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi; }
  step() { echo "wow64-wine: $* ($(date -u +%H:%M:%S), ${SECONDS} s)"; }
  mkdir -p "$work"
  cd "$work"

  # Modules no test of the updater can load: the versioned copies of the
  # Direct3D helpers, C runtimes, audio engines and the 16-bit subsystem are
  # each built again from the same sources.
  left_out=(win16)
  for v in 24 25 26 27 28 29 30 31 32 33 34 35 36 37 38 39 40 41 42; do left_out+=("d3dx9_$v"); done
  for v in 33 34 35 36 37 38 39 40 41 42; do left_out+=("d3dx10_$v"); done
  for v in 42 43; do left_out+=("d3dx11_$v"); done
  for v in 33 34 35 36 37 38 39 40 41 42 43 46; do left_out+=("d3dcompiler_$v"); done
  for v in 70 71 80 90 100 110; do left_out+=("msvcr$v"); done
  for v in 60 70 71 80 90 100 110; do left_out+=("msvcp$v"); done
  left_out+=(msvcrtd crtdll msvcirt msvcr120_app msvcp120_app)
  for v in 0 1 2 3 4 5 6 7 8; do left_out+=("xaudio2_$v"); done
  for v in 0 1 2 3 4 5 6 7; do left_out+=("x3daudio1_$v"); done
  for v in 2_0 2_4 2_7 2_9 3_0 3_1 3_2 3_3 3_4 3_5 3_6 3_7; do left_out+=("xactengine$v"); done
  for v in 1_1 1_2 1_3 1_4 1_5; do left_out+=("xapofx$v"); done
  # Maintainer mode, as debian/rules has it: Debian's source leaves out the
  # icons and fonts that are made from their .svg and .sfd sources.
  configure_options=(
    --enable-archs=i386,x86_64 --disable-tests --enable-maintainer-mode --prefix="$prefix"
    --without-oss --without-sane --without-netapi --without-cups --without-gphoto
    --without-gstreamer --without-v4l2 --without-pcap --without-capi --without-opencl
    "${left_out[@]/#/--disable-}"
    CFLAGS=-O2 CROSSCFLAGS=-O2 LDFLAGS=
  )

  if [ ! -f "$work/.deps-installed" ]; then
    step "installing wine's build dependencies"
    DEBIAN_FRONTEND=noninteractive as_root apt-get build-dep -y -q wine >"$work/build-dep.log" 2>&1 ||
      { tail -n 20 "$work/build-dep.log" >&2; exit 1; }
    touch "$work/.deps-installed"
  fi

  if [ ! -f "$work/.source-ready" ]; then
    step "fetching and preparing Debian's wine source"
    rm -rf "$work/dl" "$work/src"
    mkdir -p "$work/dl"
    (cd "$work/dl" && apt-get source --download-only wine >/dev/null 2>&1)
    dsc=$(ls "$work"/dl/wine_*.dsc | head -n 1)
    dpkg-source -x "$dsc" "$work/src" >"$work/extract.log"
    (
      cd "$work/src"
      # What debian/rules generates before configuring: the server's request
      # tables, Unicode tables, OpenGL/Vulkan thunks, and the icons' images.
      ./debian/scripts/generate server/trace.generated make_requests
      ./debian/scripts/generate server/request.generated make_requests
      ./tools/make_unicode
      ./tools/make_requests
      (cd dlls/dsound && ./make_fir)
      (cd dlls/opengl32 && ./make_opengl)
      (cd dlls/winevulkan && ./make_vulkan -x /usr/share/vulkan/registry/vk.xml)
      ln -sf /usr/share/misc/config.sub tools
      ln -sf /usr/share/misc/config.guess tools
      sed -n '/^override_dh_auto_configure:/,/^$/p' debian/rules |
        grep -E '^\s*ln -sf \.\./\.\./.*\.svg ' | sed 's/^\s*//' | sh -e
      autoreconf -f >"$work/autoreconf.log" 2>&1
    )
    touch "$work/.source-ready"
  fi

  # Built in the source folder, as Debian builds it: maintainer mode does not
  # work in a folder of its own.
  cd "$work/src"
  # Debian's patch links mingw-w64's zlib1.dll in place of Wine's bundled
  # zlib; a WoW64 Wine has no system DLL path to find it at run time, so
  # user32.dll and every program fail to load. The bundled zlib it is.
  if ! grep -q 'WINE_CONFIG_MAKEFILE(libs/zlib)' configure.ac; then
    step "putting Wine's bundled zlib back"
    patch -R -p1 <debian/patches/system/zlib.patch >>"$work/extract.log"
    autoreconf -f >"$work/autoreconf.log" 2>&1
    rm -f .configured
  fi
  options_id=$(printf '%s\n' "${configure_options[@]}" | md5sum | cut -d' ' -f1)
  if [ "$(cat .configured 2>/dev/null)" != "$options_id" ]; then
    step "configuring"
    configure_start=$SECONDS
    ./configure "${configure_options[@]}" >"$work/configure.log" 2>&1 ||
      { tail -n 30 "$work/configure.log" >&2; exit 1; }
    echo "$options_id" >.configured
    step "configure took $((SECONDS - configure_start)) s"
  fi

  # Maintainer mode also turns warnings into errors, and this mingw-w64 warns
  # where Wine 8.0's own compilers did not: they stay warnings.
  make_vars=(CFLAGS="-O2 -Wno-error" i386_CFLAGS="-O2 -Wno-error" x86_64_CFLAGS="-O2 -Wno-error")
  step "building (log: $work/make.log)"
  # A parallel build may compile ntdll before Debian's version header exists.
  make "${make_vars[@]}" dlls/ntdll/unix/version.h >>"$work/make.log" 2>&1
  # The headers made from IDL first: some bundled libraries do not name them
  # as prerequisites, and would otherwise find mingw-w64's own and fail.
  make "${make_vars[@]}" -j"$(nproc)" include/all >>"$work/make.log" 2>&1 ||
    { tail -n 40 "$work/make.log" >&2; exit 1; }
  make "${make_vars[@]}" -j"$(nproc)" >>"$work/make.log" 2>&1 || { tail -n 40 "$work/make.log" >&2; exit 1; }

  step "installing into $prefix"
  rm -rf "$prefix.partial"
  make "${make_vars[@]}" install DESTDIR="$work/stage" >"$work/install.log" 2>&1 ||
    { tail -n 20 "$work/install.log" >&2; exit 1; }
  as_root mkdir -p "$(dirname "$prefix")"
  as_root rm -rf "$prefix.partial"
  as_root mv "$work/stage$prefix" "$prefix.partial"
  as_root mv "$prefix.partial" "$prefix"
  rm -rf "$work/stage"
  step "done"
  # times: this shell's, then its children's user and system CPU time.
  echo "wow64-wine: took ${SECONDS} s of wall time; CPU time (user, system):"
  times | tail -n 1
}
main "$@"
