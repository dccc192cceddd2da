#!/usr/bin/env bash
# Download throughput of the updater against curl, same 50 MB file, same local
# server: once without and once with the progress dialog, and a bare loop of
# 2048-byte WinINet reads (the limit the updater's chunk size sets). Prints
# figures and ratios; it never fails on a time.
#   ZUPDATER_BUILD_DIR=... ZUPDATER_WINEPREFIX=... bench/download_bench.sh [MB] [runs]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/wine-env.sh"  # the build whose programs run here
build=$ZUPDATER_RUN_DIR
size_mb=${1:-50}
runs=${2:-3}
exe="$build/bench/download_bench.exe"
[ -f "$exe" ] || { echo "build first: $exe is missing" >&2; exit 1; }

work=$(mktemp -d)
state="$work/server.state"
cleanup() {
  python3 "$root/tests/server/zu_test_server.py" stop --state-file "$state" || true
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/www"
head -c $((size_mb * 1000 * 1000)) /dev/urandom > "$work/www/big.bin"
python3 "$root/tests/server/zu_test_server.py" start --root "$work/www" --state-file "$state" >/dev/null
port=$(sed -n 's/^port=//p' "$state")
url="http://127.0.0.1:$port/big.bin"
bytes=$(stat -c %s "$work/www/big.bin")

best() { sort -g | head -n 1; }
curl_seconds=$(for _ in $(seq "$runs"); do
  curl -s -o "$work/curl.bin" -w '%{time_total}\n' "$url"
done | best)
cmp -s "$work/curl.bin" "$work/www/big.bin" || echo "warning: curl's copy differs" >&2

run_updater() {  # mode -> best seconds and the peak working set (KB) of that run
  local mode=$1
  for _ in $(seq "$runs"); do
    out=$("$root/scripts/with-wine.sh" wine "$exe" "$url" "Z:${work//\//\\}\\$mode.bin" "$mode" 2>/dev/null | tr -d '\r')
    set -- $out
    [ "$1" = ok ] || { echo "updater download failed: $out" >&2; return 1; }
    echo "$3 $4"
  done | sort -g | head -n 1
}
bare_seconds=$(run_updater bare)
cmp -s "$work/bare.bin" "$work/www/big.bin" || echo "warning: bare loop's copy differs" >&2
plain_seconds=$(run_updater plain)
cmp -s "$work/plain.bin" "$work/www/big.bin" || echo "warning: updater's copy differs" >&2
progress_seconds=$(run_updater progress)
cmp -s "$work/progress.bin" "$work/www/big.bin" || echo "warning: updater's copy (progress) differs" >&2

python3 - "$bytes" "$curl_seconds" $bare_seconds $plain_seconds $progress_seconds <<'PY'
import sys
size, curl, bare, bare_kb, plain, plain_kb, progress, progress_kb = (int(sys.argv[1]),
                                                                    *map(float, sys.argv[2:]))
mb = size / 1e6
def line(name, s, kb=None):
    peak = "" if kb is None else "   peak working set %5.1f MB" % (kb / 1024)
    print("%-28s %8.3f s %9.1f MB/s   %5.2f x curl%s" % (name, s, mb / s, curl / s, peak))
print("file: %.1f MB from the local test server (best of each)" % mb)
line("curl", curl)
line("bare 2048-byte read loop", bare, bare_kb)
line("updater, no progress dialog", plain, plain_kb)
line("updater, progress dialog", progress, progress_kb)
print("ratio progress dialog / no dialog:   %.2f   (goal: at most 1.10)" % (progress / plain))
print("ratio no dialog / bare read loop:    %.2f   (goal: at most 1.10)" % (plain / bare))
print("ratio progress dialog / bare loop:   %.2f" % (progress / bare))
PY
