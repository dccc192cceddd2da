#!/usr/bin/env bash
# Runs README's vendor commands exactly as they stand (the block after the
# line "<!-- vendor commands -->"), in a scratch folder that holds, as a
# vendor's would, the checkout's scripts/ and build/ and a release folder
# (the example release with its built files) and a code-signing certificate
# (vendor_code.pfx, a throw-away one made here), with zpkg on the PATH. Then
# checks what they made: the shipped updater carries the vendor's key, update
# host and version and a signature that verifies, the site holds that very
# file, and check-site showed the version clients compare.
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
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Vendor test code signing" \
  -addext "extendedKeyUsage=codeSigning" -keyout "$scratch/code.key" -out "$scratch/code.pem" 2>/dev/null
openssl pkcs12 -export -inkey "$scratch/code.key" -in "$scratch/code.pem" -passout pass:vendor \
  -out "$scratch/vendor_code.pfx"
echo "vendor_commands: running README's block:"
sed 's/^/  /' <<<"$block"
(cd "$scratch" && PATH="$scratch/path:$PATH" ZUPDATER_SIGN_PASSWORD=vendor \
  bash -euo pipefail -c "$block") | tee "$scratch/output.txt"

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
fail() { echo "vendor_commands: $*" >&2; exit 1; }
exe=$root/build/release/zupdater.exe
osslsigncode verify -CAfile "$scratch/code.pem" -in "$exe" >"$scratch/verify.txt" 2>&1 ||
  { cat "$scratch/verify.txt" >&2; fail "the release build's signature does not verify"; }
# The site ships the signed file, and check-site showed its version.
[ -f "$scratch/site/p/zupdater.qpk" ] || fail "the site has no updater package"
mkdir "$scratch/unpacked"
gcab -x -C "$scratch/unpacked" "$scratch/site/p/zupdater.qpk" >/dev/null
cmp -s "$exe" "$scratch/unpacked/ZUDPTEMP.EXE" || fail "p/zupdater.qpk does not hold the signed zupdater.exe"
grep -q '^ok: p/zupdater.qpk: updater 1\.2\.0\.0, the version clients compare' "$scratch/output.txt" ||
  fail "check-site did not show the updater's version 1.2.0.0"
echo "vendor_commands: the release build carries the vendor's key, host, version and signature; the site holds it and verifies"
