#!/usr/bin/env bash
# zpkg sign, run as a vendor would, on a cabinet whose header reserve runs
# past the end of the file: a message and a failure, not a signed image.
set -euo pipefail
tool=${1:?zpkg} work=${2:?folder}
rm -rf "$work" && mkdir -p "$work"
"$tool" keygen "$work/private.pem" "$work/public.pem"
# A 44-byte cabinet: fixed header, reserved-area sizes claiming 60000 bytes.
printf 'MSCF\0\0\0\0\x2c\0\0\0\0\0\0\0\x2c\0\0\0\0\0\0\0\x03\x01\x01\0\x01\0\x04\0\0\0\0\0\x60\xea\0\0\0\0\0\0' >"$work/hostile.cab"
if "$tool" sign "$work/private.pem" "$work/hostile.cab" "$work/out.qpk" 2>"$work/err.txt"; then
  echo "signed a hostile cabinet" >&2; exit 1
fi
grep -q "header reserve of 60000 bytes runs past the end of the file" "$work/err.txt" ||
  { cat "$work/err.txt" >&2; exit 1; }
[ ! -e "$work/out.qpk" ] || { echo "wrote an image" >&2; exit 1; }
echo "refused: $(cat "$work/err.txt")"
