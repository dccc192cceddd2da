#!/usr/bin/env bash
# scripts/build-release.sh refuses what would build an updater clients cannot
# take, before it builds anything: each case is the options and the reason it
# must print.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
openssl genrsa -out "$scratch/key.pem" 2048 2>/dev/null
openssl rsa -in "$scratch/key.pem" -pubout -out "$scratch/public.pem" 2>/dev/null
key=$scratch/public.pem
status=0
check() {
  local reason=$1
  shift
  local out
  if out=$(ZUPDATER_RELEASE_DIR="$scratch/never" "$root/scripts/build-release.sh" "$@" 2>&1); then
    echo "build_release_options: accepted: $*" >&2; status=1; return
  fi
  if ! grep -qF -- "$reason" <<<"$out"; then
    echo "build_release_options: $*: expected \"$reason\", got: $out" >&2; status=1
  fi
  [ -e "$scratch/never" ] && { echo "build_release_options: $*: built before refusing" >&2; status=1; }
  return 0
}
check "--version 1.2.0 is not four numbers separated by dots" --version 1.2.0 "$key"
check "--version 1,2,0,0 is not four numbers separated by dots" --version 1,2,0,0 "$key"
check "--version 1.2.0.0x is not four numbers" --version 1.2.0.0x "$key"
check "--version 1.2.0.65536: each number is at most 65535" --version 1.2.0.65536 "$key"
check "--version 65536.0.0.0: each number is at most 65535" --version 65536.0.0.0 "$key"
check "no such certificate file: $scratch/none.pfx" --sign "$scratch/none.pfx" "$key"
check "--timestamp goes with --sign" --timestamp http://timestamp.example "$key"
check "unknown option --versoin" --versoin 1.2.0.0 "$key"
[ $status = 0 ] && echo "build_release_options: every bad option refused with its reason"
exit $status
