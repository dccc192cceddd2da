#!/usr/bin/env bash
# Runs the updater's main job end to end: lays out a demo update site, serves
# it on 127.0.0.1, runs zupdater.exe under Wine against it and prints what
# happened: the update log, the registry values and the files that changed,
# and the requests the server saw.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
demo="$root/build/demo"
# The architecture that runs here (the shipped i686 build where this machine
# runs 32-bit programs), decided once for the whole demo.
source "$root/scripts/wine-env.sh"
mkdir -p "$demo"
echo "== preparing the machine and building (log: $demo/build.log)"
{ "$root/scripts/setup.sh" && "$root/scripts/build.sh"; } >"$demo/build.log" 2>&1 ||
  { tail -n 30 "$demo/build.log"; exit 1; }

export ZUPDATER_WINEPREFIX="$demo/prefix-$ZUPDATER_TEST_ARCH"
rm -rf "$demo/app" "$demo/site"
mkdir -p "$demo/app/logs" "$demo/site/murvo" "$demo/site/patchkeeper"
cp "$ZUPDATER_RUN_DIR/zupdater.exe" "$demo/app/"

# The embedded update server: serves the site on 127.0.0.1 and records every
# request it receives.
server="$root/tests/server/zu_test_server.py"
python3 "$server" start --root "$demo/site" --state-file "$demo/server.state" >/dev/null
trap 'python3 "$server" stop --state-file "$demo/server.state" >/dev/null 2>&1 || true' EXIT
port=$(sed -n 's/^port=//p' "$demo/server.state")
base="http://127.0.0.1:$port"
cat > "$demo/site/corvcli.html" <<PAGE
MURVO-FOLDER=$base/murvo/
PATCHKEEPER-FOLDER=$base/patchkeeper/
HttpServers=chat1.example:80;chat2.example:80
SocketServers=chat1.example:5050;chat2.example:5050;chat3.example:5050
IPAddrLookup=http://lookup.example/ip
PAGE
printf '[New Install]\r\nVersionNew=5,0,1,0\r\n' > "$demo/site/murvo/components.html"
cp "$ZUPDATER_RUN_DIR/tests/fake_host5.exe" "$demo/app/murvo.exe"

run() {
  ZUPDATER_PERSISTENT=0 "$root/scripts/with-wine.sh" bash -c '
    wine reg add "HKCU\\SOFTWARE\\Zindo\\Murvo" /v LogUpdate /t REG_DWORD /d 0 /f </dev/null >/dev/null
    wine reg export "HKCU\\SOFTWARE\\Zindo" "$1/before.reg" /y >/dev/null 2>&1 || : >"$1/before.reg"
    ls -l "$1/app" >"$1/files-before.txt"
    wine "$1/app/zupdater.exe" "ServerPage=$2/corvcli.html;ApplicationName=$(winepath -w "$1/app/murvo.exe")"
    echo "exit code: $?" >"$1/exit.txt"
    wineserver -w
    wine reg export "HKCU\\SOFTWARE\\Zindo" "$1/after.reg" /y >/dev/null 2>&1 || : >"$1/after.reg"
    ls -l "$1/app" >"$1/files-after.txt"
  ' demo "$demo" "$base" </dev/null
}
run

echo "== zupdater.exe ran against $base (the updater always exits with code 0)"
echo "== update log ($demo/app/logs/updater.log):"
cat "$demo/app/logs/updater.log" 2>/dev/null | tr -d '\r' || echo "(no log)"
echo "== registry under HKCU\\SOFTWARE\\Zindo, changes made by the run:"
diff <(iconv -f UTF-16 -t UTF-8 "$demo/before.reg" 2>/dev/null | tr -d '\r') \
     <(iconv -f UTF-16 -t UTF-8 "$demo/after.reg" 2>/dev/null | tr -d '\r') || true
echo "== files of the updater's folder, before and after:"
diff "$demo/files-before.txt" "$demo/files-after.txt" && echo "(unchanged)"
echo "== requests the update server received:"
curl -s "$base/__control/requests?prefix=/" | grep -E '^(GET|HEAD) ' || echo "(none)"
