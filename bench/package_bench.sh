#!/usr/bin/env bash
# Verifies and extracts a signed 50 MB package with the updater's own code
# (under Wine) beside `openssl dgst -sha1` and `gcab -x` on the same file, and
# beside a bare extraction through the system's cabinet library (no staging,
# no checks), and prints the times and their ratios (best of several runs).
# The bare extraction also runs with each file flushed as it is closed: the
# reference for a durable install, which the updater flushes too. The same
# for a package of 10,000 small files, and then where the updater's
# extraction spends its time, step by step, into a fresh folder and over the
# files installed there.
# Run after scripts/build.sh; it never fails on a time.
#   BENCH_RUNS       runs of the 50 MB package, the best counts (default 3)
#   BENCH_MANY_RUNS  the same for the 10,000 files (default 1: minutes each)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/wine-env.sh"  # the build and prefix whose programs run here
build=$ZUPDATER_RUN_DIR
runs=${BENCH_RUNS:-3}
many_runs=${BENCH_MANY_RUNS:-1}
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
wine_flushed=$(winepath -w "$work/flushed" 2>/dev/null)
least() { awk -v a="$1" -v b="$2" 'BEGIN { print (b == "" || a < b) ? a : b }'; }
# Runs package_bench n times on image; sets verify, extract, bare, layout and
# flushed to the best of each.
bench_image() {
  local image=$1 n=$2 status v x r l f
  verify= extract= bare= layout= flushed=
  for _ in $(seq "$n"); do
    rm -rf "$work/out" "$work/bare" "$work/flushed"; mkdir "$work/out" "$work/bare" "$work/flushed"
    read -r status v x r l f < <(wine "$build/bench/package_bench.exe" "$image" "$wine_out" "$wine_bare" \
                                 "$wine_flushed" 2>/dev/null | tr -d '\r' | awk '{print $1, $3, $5, $7, $9, $11}')
    [ "$status" = ok ] || return 1
    verify=$(least "$v" "$verify")
    extract=$(least "$x" "$extract")
    bare=$(least "$r" "$bare")
    layout=$(least "$l" "$layout")
    flushed=$(least "$f" "$flushed")
  done
}
bench_image "$wine_image" "$runs" || { echo "package_bench failed" >&2; exit 1; }
for made in out bare flushed; do cmp "$work/$made/sub/random2.bin" "$work/content/sub/random2.bin"; done

# Many names: 10,000 small files, each staged and moved on its own.
mkdir -p "$work/many"
for i in $(seq 0 9999); do echo "small file $i" >"$work/many/f$i.txt"; done
"$tool" pack --stored "$work/many.cab" "$work/many"
"$tool" sign --placement 1 "$key" "$work/many.cab" "$work/many.qpk"
wine_many=$(winepath -w "$work/many.qpk" 2>/dev/null)
big_verify=$verify big_extract=$extract big_bare=$bare big_layout=$layout big_flushed=$flushed
bench_image "$wine_many" "$many_runs" || { echo "package_bench failed on 10,000 files" >&2; exit 1; }
many_verify=$verify many_extract=$extract many_bare=$bare many_flushed=$flushed
verify=$big_verify extract=$big_extract bare=$big_bare layout=$big_layout flushed=$big_flushed
for made in out bare flushed; do cmp "$work/$made/f9999.txt" "$work/many/f9999.txt"; done

wineserver -k >/dev/null 2>&1 || true

awk -v size="$size" -v dgst="$dgst" -v gcab="$gcab" -v verify="$verify" -v extract="$extract" \
    -v bare="$bare" -v layout="$layout" -v flushed="$flushed" 'BEGIN {
  mb = size / 1048576
  printf "package: %.1f MB (signed, MSZIP, 5 files)\n", mb
  printf "verify (open + SHA-1 + RSA), updater under Wine: %7.3f s  %6.1f MB/s\n", verify, mb / verify
  printf "openssl dgst -sha1, native:                     %7.3f s  %6.1f MB/s\n", dgst, mb / dgst
  printf "extract (staged + moved), updater under Wine:   %7.3f s  %6.1f MB/s\n", extract, mb / extract
  printf "extract bare (cabinet library only), Wine:     %7.3f s  %6.1f MB/s\n", bare, mb / bare
  printf "extract bare + flush of each file, Wine:        %7.3f s  %6.1f MB/s\n", flushed, mb / flushed
  printf "structure check alone, updater under Wine:    %7.3f s\n", layout
  printf "gcab -x, native:                                %7.3f s  %6.1f MB/s\n", gcab, mb / gcab
  printf "ratio verify / openssl dgst:      %.2f   (goal: at most 1.25)\n", verify / dgst
  printf "ratio extract / bare extraction:  %.2f   (bare flushes nothing: not the goal)\n", extract / bare
  printf "ratio extract / (bare + flush):   %.2f   (goal: at most 1.10)\n", extract / flushed
  printf "ratio (bare + flush) / bare:      %.2f   (what flushing costs)\n", flushed / bare
  printf "ratio extract / gcab -x:          %.2f\n", extract / gcab
  printf "ratio verify+extract / dgst+gcab: %.2f\n", (verify + extract) / (dgst + gcab)
}'
echo "10,000 small files (stored): verify $many_verify s, extract (staged + moved) $many_extract s," \
  "bare extraction $many_bare s"
awk -v extract="$many_extract" -v bare="$many_bare" -v flushed="$many_flushed" 'BEGIN {
  printf "10,000 small files: bare extraction + flush of each file %.3f s\n", flushed
  printf "10,000 small files: ratio extract / (bare + flush):   %.2f   (goal: at most 1.10)\n", extract / flushed
  printf "10,000 small files: ratio (bare + flush) / bare:      %.2f   (what flushing costs)\n", flushed / bare
}'
# What every self-update downloads: the shipped 32-bit program, symbols
# stripped (they stay beside it in zupdater.exe.debug).
shipped="$root/build/win/zupdater.exe"
if [ -f "$shipped" ]; then
  echo "shipped zupdater.exe (i686): $(stat -c %s "$shipped") bytes (goal: at most 1,572,864)"
fi
