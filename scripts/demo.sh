#!/usr/bin/env bash
# Runs the updater's main job end to end: serves the full update site (signed
# packages made with zpkg at build time, tests/fixtures/site) on 127.0.0.1,
# runs zupdater.exe under Wine against it with a host client running and old
# component files installed, answers its update prompt with a key press on
# the display, and prints what happened: the update log, the files replaced
# (old and new versions), the registry changes, the requests the server saw,
# and the path of a picture of the prompt.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
demo="$root/build/demo"
# The architecture that runs here (the shipped i686 build where this machine
# runs 32-bit programs), decided once for the whole demo.
source "$root/scripts/wine-env.sh"
mkdir -p "$demo"
started=$SECONDS
echo "== preparing the machine (log: $demo/build.log)"
"$root/scripts/setup.sh" --demo >"$demo/build.log" 2>&1 || { tail -n 30 "$demo/build.log"; exit 1; }
setup_took=$((SECONDS - started))
# Only what the demo runs: the updater of the architecture that runs here,
# the host client, the component releases and the signed site (not the tests).
echo "== building the updater and the site (log: $demo/build.log)"
build_start=$SECONDS
{
  package_tool=$("$root/scripts/build-tools.sh" zpkg) &&
    cmake -S "$root" -B "$ZUPDATER_RUN_DIR" -G Ninja \
      -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$ZUPDATER_TEST_ARCH.cmake" \
      -DCMAKE_BUILD_TYPE=Release -DZUPDATER_PACKAGE_TOOL="$package_tool" &&
    cmake --build "$ZUPDATER_RUN_DIR" --target zupdater fake_host5 zcom500 zcom510 full_site
} >>"$demo/build.log" 2>&1 || { tail -n 30 "$demo/build.log"; exit 1; }
build_took=$((SECONDS - build_start))
run_start=$SECONDS

tests="$ZUPDATER_RUN_DIR/tests"
export ZUPDATER_WINEPREFIX="$demo/prefix-$ZUPDATER_TEST_ARCH"
rm -rf "$demo/app" "$demo/host" "$demo/site" "$demo/prompt.png"
mkdir -p "$demo/app/logs" "$demo/app/plugins" "$demo/host"

# The embedded update server: serves the site on 127.0.0.1 and records every
# request it receives.
server="$root/tests/server/zu_test_server.py"
python3 "$server" start --root "$demo/site" --state-file "$demo/server.state" >/dev/null
trap 'python3 "$server" stop --state-file "$demo/server.state" >/dev/null 2>&1 || true' EXIT
port=$(sed -n 's/^port=//p' "$demo/server.state")
base="http://127.0.0.1:$port/"
# The site made by zpkg site from the example release, with the local
# server's URL written over the release's own in the page and the manifest;
# cp -p keeps the dates the server announces.
cp -rp "$tests/site/." "$demo/site/"
# Every edition has a manifest of its own.
for page in corvcli.html $(cd "$tests/site" && find m -name components.html); do
  sed "s|http://updates.zindo.example/|$base|g" "$tests/site/$page" >"$demo/site/$page"
done

# The client: the updater, the host client 5.0.1.0 (one copy runs with its
# window; the updater closes it and starts murvo.exe again), release 5.0.0.0
# of three components and a current fourth.
cp "$ZUPDATER_RUN_DIR/zupdater.exe" "$demo/app/"
cp "$tests/fake_host5.exe" "$demo/app/murvo.exe"
cp "$tests/fake_host5.exe" "$demo/host/murvo.exe"
for name in zsilent.dll zclose.dll plugins/zoffer.dll; do cp "$tests/zcom500.dll" "$demo/app/$name"; done
cp "$tests/zcom510.dll" "$demo/app/zcurrent.dll"

# "5.1.0.0" from a file's fixed version information (VS_FIXEDFILEINFO).
file_version() {
  python3 - "$1" <<'PY'
import struct, sys
data = open(sys.argv[1], "rb").read()
at = data.find(struct.pack("<I", 0xFEEF04BD))
if at < 0:
    print("no version")
else:
    ms, ls = struct.unpack_from("<II", data, at + 8)
    print("%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF))
PY
}
list_files() {
  (cd "$demo/app" && for f in zsilent.dll zclose.dll plugins/zoffer.dll zcurrent.dll murvo.exe; do
    printf '%-20s %-9s %s\n' "$f" "$(file_version "$f")" "$(date -u -r "$f" '+%Y-%m-%d %H:%M UTC')"
  done)
}
list_files >"$demo/files-before.txt"

run() {
  ZUPDATER_PERSISTENT=0 "$root/scripts/with-wine.sh" bash -c '
    demo=$1 base=$2
    # A client as freshly installed: nothing of an earlier demo run is kept.
    wine reg delete "HKCU\\SOFTWARE\\Zindo" /f </dev/null >/dev/null 2>&1 || true
    wine reg add "HKCU\\SOFTWARE\\Zindo\\Murvo" /v LogUpdate /t REG_DWORD /d 0 /f </dev/null >/dev/null
    wine reg delete "HKCU\\Software\\ZupdaterTests" /f </dev/null >/dev/null 2>&1 || true
    wine reg export "HKCU\\SOFTWARE\\Zindo" "$demo/before.reg" /y >/dev/null 2>&1 || : >"$demo/before.reg"
    # The host client, running with its window as the user has it.
    rm -f "$demo/host/window.txt"
    wine "$demo/host/murvo.exe" -window </dev/null >/dev/null 2>&1 &
    for _ in $(seq 100); do [ -f "$demo/host/window.txt" ] && break; sleep 0.2; done
    wine "$demo/app/zupdater.exe" "ServerPage=${base}corvcli.html;ApplicationName=$(winepath -w "$demo/app/murvo.exe")" </dev/null >/dev/null 2>&1 &
    updater=$!
    # The prompt appears once its text is ready: a picture, then Enter,
    # pressed on the display as a user would.
    answered=0
    for _ in $(seq 600); do
      kill -0 "$updater" 2>/dev/null || break
      window=$(xdotool search --onlyvisible --name "^Update Available\$" 2>/dev/null | head -n 1 || true)
      if [ -n "$window" ]; then
        sleep 1
        import -window "$window" "$demo/prompt.png" 2>/dev/null || true
        xdotool windowfocus --sync "$window" key Return
        answered=1
        break
      fi
      sleep 0.2
    done
    echo "$answered" >"$demo/answered.txt"
    # Never left waiting on a prompt nobody answered.
    [ "$answered" = 1 ] || kill "$updater" 2>/dev/null || true
    wait "$updater" || true
    # A host client the run left running is closed, so that Wine can end.
    wine "$demo/host/murvo.exe" -kill </dev/null >/dev/null 2>&1 || true
    wineserver -w
    wine reg export "HKCU\\SOFTWARE\\Zindo" "$demo/after.reg" /y >/dev/null 2>&1 || : >"$demo/after.reg"
    wine reg export "HKCU\\Software\\ZupdaterTests" "$demo/com.reg" /y >/dev/null 2>&1 || : >"$demo/com.reg"
  ' demo "$demo" "$base" </dev/null
}
run
list_files >"$demo/files-after.txt"

echo "== zupdater.exe ran against ${base}corvcli.html (the updater always exits with code 0)"
echo "== update log ($demo/app/logs/updater.log):"
tr -d '\r' <"$demo/app/logs/updater.log" 2>/dev/null || echo "(no log)"
echo "== files of the client (version, date), before:"
cat "$demo/files-before.txt"
echo "== after:"
cat "$demo/files-after.txt"
echo "== registry under HKCU\\SOFTWARE\\Zindo, changes made by the run:"
diff <(iconv -f UTF-16 -t UTF-8 "$demo/before.reg" 2>/dev/null | tr -d '\r') \
     <(iconv -f UTF-16 -t UTF-8 "$demo/after.reg" 2>/dev/null | tr -d '\r') | grep '^[<>]' || true
echo "== COM registration left by the level-5 component (HKCU\\Software\\ZupdaterTests):"
iconv -f UTF-16 -t UTF-8 "$demo/com.reg" 2>/dev/null | tr -d '\r' | grep '=' || echo "(none)"
echo "== the host client's command lines (args.txt beside murvo.exe):"
cat "$demo/app/args.txt" 2>/dev/null || echo "(never started)"
echo "== requests the update server received:"
curl -s "${base}__control/requests?prefix=/" | grep -E '^(GET|HEAD) ' || echo "(none)"
if [ "$(cat "$demo/answered.txt" 2>/dev/null)" = 1 ] && [ -s "$demo/prompt.png" ]; then
  echo "== the update prompt, answered with Enter: $demo/prompt.png"
else
  echo "== the update prompt did not appear"
fi

echo "== time taken: packages $(sed -n 's/^setup: packages took \([0-9]*\) s$/\1/p' "$demo/build.log") s," \
  "libcrypto $(sed -n 's/^setup: libcrypto took \([0-9]*\) s$/\1/p' "$demo/build.log") s" \
  "(setup $setup_took s in all), build $build_took s, run $((SECONDS - run_start)) s," \
  "whole demo $((SECONDS - started)) s"
