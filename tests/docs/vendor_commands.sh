#!/usr/bin/env bash
# Runs README's vendor commands exactly as they stand (the block after the
# line "<!-- vendor commands -->"), in a scratch folder that holds, as a
# vendor's would, the checkout's scripts/ and build/ and a release folder
# (the example release with its built files), with zpkg on the PATH. Then
# checks what they made: the shipped updater carries the vendor's key and
# update host, and the site verifies with the vendor's key.
#   vendor_commands.sh BUILD_DIR ZPKG
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:?the build folder whose tests/example_release holds the built release}
zpkg=${2:?zpkg}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
block=$(awk '/^<!-- vendor commands -->$/ { found = 1; next }
             found && /^```/ { if (inside) exit; inside = 1; next }
             inside { print }' "$root/README.md")
[ -n "$block" ] || { echo "vendor_commands: README has no vendor command block" >&2; exit 1; }
ln -s "$root/scripts" "$scratch/scripts"
ln -s "$root/build" "$scratch/build"
cp -r "$build/tests/example_release" "$scratch/release"
mkdir -p "$scratch/path"
ln -s "$(cd "$(dirname "$zpkg")" && pwd)/$(basename "$zpkg")" "$scratch/path/zpkg"
echo "vendor_commands: running README's block:"
sed 's/^/  /' <<<"$block"
(cd "$scratch" && PATH="$scratch/path:$PATH" bash -euo pipefail -c "$block")

# The updater the block built carries the vendor's key and host.
python3 - "$scratch/vendor_public.pem" "$root/build/release/zupdater.exe" <<'PY'
import subprocess, sys
key, exe = sys.argv[1], sys.argv[2]
modulus = subprocess.run(["openssl", "rsa", "-pubin", "-in", key, "-modulus", "-noout"],
                         capture_output=True, text=True, check=True).stdout.strip().split("=", 1)[1]
image = open(exe, "rb").read()
assert bytes.fromhex(modulus) in image, "the vendor's key is not compiled into " + exe
assert b"updates.example.com" in image, "the vendor's update host is not compiled into " + exe
PY
[ -f "$scratch/site/p/zupdater.qpk" ] || { echo "vendor_commands: the site has no updater package" >&2; exit 1; }
echo "vendor_commands: the release build carries the vendor's key and host; the site verifies with it"
