#!/usr/bin/env bash
# Verifies and extracts a signed 50 MB package with the updater's own code
# (under Wine) beside `openssl dgst -sha1` and `gcab -x` on the same file, and
# beside a bare extraction through the system's cabinet library (no staging,
# no checks), and prints the times and their ratios (best of several runs).
# Run after scripts/build.sh; it never fails on a time.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/wine-env.sh"  # the build and prefix whose programs run here
build=$ZUPDATER_RUN_DIR
runs=${BENCH_RUNS:-3}
tool=$(ZUPDATER_BUILD_DIR=$build "$root/scripts/build-tools.sh" 2>/dev/null)
key="$build/keys/package_private.pem"
[ -f "$key" ] || { echo "no development key at $key (built with a vendor key?)" >&2; exit 1; }
[ -x "$build/bench/package_bench.exe" ] || { echo "build first: scripts/build.sh" >&2; exit 1; }

work=$(mktemp -d "$build/bench/package.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/content/sub"
# Mostly incompressible, some text: about 50 MB packed, in five files.
head -c $((20 << 20)) /dev/urandom >"$work/content/random1.bin"
head -c $((27 << 20)) /dev/urandom >"$work/content/sub/random2.bin"
# (the generators end on a broken pipe, which is expected)
(seq 1 4000000 || true) | head -c $((10 << 20)) >"$work/content/numbers.txt"
(yes 'component build line with some repeated text' || true) | head -c $((10 << 20)) >"$work/content/sub/lines.txt"
head -c $((5 << 20)) /dev/zero >"$work/content/zeros.dat"
"$tool" pack "$work/package.cab" "$work/content"
"$tool" sign --placement 1 "$key" "$work/package.cab" "$work/package.qpk"
size=$(stat -c %s "$work/package.qpk")

best() {  # best wall time in seconds of running "$@" $runs times
  local b=
  for _ in $(seq "$runs"); do
    local s e
    s=$(date +%s.%N); "$@" >/dev/null 2>&1; e=$(date +%s.%N)
    b=$(awk -v s="$s" -v e="$e" -v b="$b" 'BEGIN { t = e - s; print (b == "" || t < b) ? t : b }')
  done
  echo "$b"
}

dgst=$(best openssl dgst -sha1 "$work/package.qpk")
gcab_x() { rm -rf "$work/gcab"; mkdir "$work/gcab"; (cd "$work/gcab" && gcab -x "$work/package.qpk"); }
gcab=$(best gcab_x)

"$root/scripts/wine-prefix.sh" "$WINEPREFIX"
wine_image=$(winepath -w "$work/package.qpk" 2>/dev/null)
wine_out=$(winepath -w "$work/out" 2>/dev/null)
wine_bare=$(winepath -w "$work/bare" 2>/dev/null)
verify= extract= bare= layout=
least() { awk -v a="$1" -v b="$2" 'BEGIN { print (b == "" || a < b) ? a : b }'; }
for _ in $(seq "$runs"); do
  rm -rf "$work/out" "$work/bare"; mkdir "$work/out" "$work/bare"
  read -r status v x r l < <(wine "$build/bench/package_bench.exe" "$wine_image" "$wine_out" "$wine_bare" \
                             2>/dev/null | tr -d '\r' | awk '{print $1, $3, $5, $7, $9}')
  [ "$status" = ok ] || { echo "package_bench failed" >&2; exit 1; }
  verify=$(least "$v" "$verify")
  extract=$(least "$x" "$extract")
  bare=$(least "$r" "$bare")
  layout=$(least "$l" "$layout")
done
cmp "$work/out/sub/random2.bin" "$work/content/sub/random2.bin"
cmp "$work/bare/sub/random2.bin" "$work/content/sub/random2.bin"

# Many names: 10,000 small files, each staged and moved on its own.
mkdir -p "$work/many"
for i in $(seq 0 9999); do echo "small file $i" >"$work/many/f$i.txt"; done
"$tool" pack --stored "$work/many.cab" "$work/many"
"$tool" sign --placement 1 "$key" "$work/many.cab" "$work/many.qpk"
wine_many=$(winepath -w "$work/many.qpk" 2>/dev/null)
rm -rf "$work/out" "$work/bare"; mkdir "$work/out" "$work/bare"
read -r status many_verify many_extract many_bare < <(wine "$build/bench/package_bench.exe" "$wine_many" "$wine_out" \
                                                      "$wine_bare" 2>/dev/null | tr -d '\r' | awk '{print $1, $3, $5, $7}')
[ "$status" = ok ] || { echo "package_bench failed on 10,000 files" >&2; exit 1; }
wineserver -k >/dev/null 2>&1 || true

awk -v size="$size" -v dgst="$dgst" -v gcab="$gcab" -v verify="$verify" -v extract="$extract" \
    -v bare="$bare" -v layout="$layout" 'BEGIN {
  mb = size / 1048576
  printf "package: %.1f MB (signed, MSZIP, 5 files)\n", mb
  printf "verify (open + SHA-1 + RSA), updater under Wine: %7.3f s  %6.1f MB/s\n", verify, mb / verify
  printf "openssl dgst -sha1, native:                     %7.3f s  %6.1f MB/s\n", dgst, mb / dgst
  printf "extract (staged + moved), updater under Wine:   %7.3f s  %6.1f MB/s\n", extract, mb / extract
  printf "extract bare (cabinet library only), Wine:     %7.3f s  %6.1f MB/s\n", bare, mb / bare
  printf "structure check alone, updater under Wine:    %7.3f s\n", layout
  printf "gcab -x, native:                                %7.3f s  %6.1f MB/s\n", gcab, mb / gcab
  printf "ratio verify / openssl dgst:      %.2f   (goal: at most 1.25)\n", verify / dgst
  printf "ratio extract / bare extraction:  %.2f   (goal: at most 1.10)\n", extract / bare
  printf "ratio extract / gcab -x:          %.2f\n", extract / gcab
  printf "ratio verify+extract / dgst+gcab: %.2f\n", (verify + extract) / (dgst + gcab)
}'
echo "10,000 small files (stored): verify $many_verify s, extract (staged + moved) $many_extract s," \
  "bare extraction $many_bare s"
# What every self-update downloads: the shipped 32-bit program, symbols
# stripped (they stay beside it in zupdater.exe.debug).
shipped="$root/build/win/zupdater.exe"
if [ -f "$shipped" ]; then
  echo "shipped zupdater.exe (i686): $(stat -c %s "$shipped") bytes (goal: at most 1,572,864)"
fi
