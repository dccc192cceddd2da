#!/usr/bin/env bash
# Signs a Windows program with an Authenticode certificate (Debian's
# osslsigncode), in place, so that SmartScreen and antivirus programs see who
# made it. A signature already on the file is replaced.
#   scripts/sign-exe.sh CERT.pfx PROGRAM.exe [TIMESTAMP_URL]
# The certificate file's password, if it has one, is read from
# ZUPDATER_SIGN_PASSWORD. With TIMESTAMP_URL (your certificate authority's
# RFC 3161 server) the signature stays valid after the certificate expires.
set -euo pipefail
cert=${1:?usage: sign-exe.sh CERT.pfx PROGRAM.exe [TIMESTAMP_URL]}
exe=${2:?usage: sign-exe.sh CERT.pfx PROGRAM.exe [TIMESTAMP_URL]}
timestamp=${3:-}
[ -f "$cert" ] || { echo "sign-exe: no such certificate file: $cert" >&2; exit 1; }
[ -f "$exe" ] || { echo "sign-exe: no such program: $exe" >&2; exit 1; }
command -v osslsigncode >/dev/null || { echo "sign-exe: osslsigncode is missing (scripts/setup.sh installs it)" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
args=(sign -pkcs12 "$cert" -pass "${ZUPDATER_SIGN_PASSWORD:-}" -h sha256 -n "Zindo Patch Keeper")
[ -n "$timestamp" ] && args+=(-ts "$timestamp")
# A file signed before (a build that did not relink) gets the new signature
# in place of the old one.
osslsigncode "${args[@]}" -in "$exe" -out "$work/signed.exe" >&2
cp "$work/signed.exe" "$exe"
