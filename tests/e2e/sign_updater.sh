#!/usr/bin/env bash
# Signs a copy of the built zupdater.exe as a vendor's release build does
# (scripts/sign-exe.sh), with a throw-away code-signing certificate made here,
# and checks the signature with osslsigncode. Signing the signed copy again
# replaces its signature. The Windows test (signed_updater_test.cpp) then
# runs the signed copy.
#   sign_updater.sh ZUPDATER.exe OUT_FOLDER     (OUT_FOLDER/zupdater.exe)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
exe=${1:?zupdater.exe}
out=${2:?out folder}
rm -rf "$out"
mkdir -p "$out"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Zindo test code signing" \
  -addext "extendedKeyUsage=codeSigning" -addext "keyUsage=digitalSignature" \
  -keyout "$out/code.key" -out "$out/code.pem" 2>/dev/null
openssl pkcs12 -export -inkey "$out/code.key" -in "$out/code.pem" -passout pass:zindo \
  -out "$out/code.pfx"
cp "$exe" "$out/zupdater.exe"
export ZUPDATER_SIGN_PASSWORD=zindo
for round in 1 2; do
  "$root/scripts/sign-exe.sh" "$out/code.pfx" "$out/zupdater.exe"
  osslsigncode verify -CAfile "$out/code.pem" -in "$out/zupdater.exe" >"$out/verify.txt" 2>&1 ||
    { cat "$out/verify.txt" >&2; echo "sign_updater: round $round: the signature does not verify" >&2; exit 1; }
  # One signature: signing again replaced the first.
  count=$(grep -c '^Signature Index:' "$out/verify.txt" || true)
  [ "$count" = 1 ] || { cat "$out/verify.txt" >&2; echo "sign_updater: round $round: $count signatures" >&2; exit 1; }
done
# A signature made with another certificate is not taken for this one.
if osslsigncode verify -CAfile /etc/ssl/certs/ca-certificates.crt -in "$out/zupdater.exe" >/dev/null 2>&1; then
  echo "sign_updater: the signature verifies against authorities that never issued it" >&2
  exit 1
fi
cmp -s "$exe" "$out/zupdater.exe" && { echo "sign_updater: the copy is unchanged" >&2; exit 1; }
echo "sign_updater: $out/zupdater.exe signed and verified"
