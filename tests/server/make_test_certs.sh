#!/bin/bash
# Makes the certificates of the local TLS test servers into one folder:
#   ca.pem, ca.der             the test authority the test Wine prefix trusts
#   localhost.pem/.key         for "localhost", from the test authority
#   wrong_name.pem/.key        for another name, from the test authority
#   expired.pem/.key           for "localhost", expired a year ago
#   untrusted.pem/.key         for "localhost", from an authority nobody trusts
# Made afresh at each test run; nothing here goes near the machine's own
# trust store.
set -euo pipefail
out=${1:?usage: make_test_certs.sh <folder>}
mkdir -p "$out"
cd "$out"
rm -rf ca_db && mkdir ca_db

authority() {  # <name> <subject>
  openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 30 -subj "/CN=$2" \
    -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" \
    -keyout "$1.key" -out "$1.pem" 2>/dev/null
}
# A name of its own each time: the prefix's chain engine finds an issuer by
# its name, and must not take an earlier run's authority for this one.
stamp=$(date -u +%Y%m%d%H%M%S)-$$
authority ca "Zindo Test Authority $stamp"
authority stranger_ca "Stranger Test Authority $stamp"
openssl x509 -in ca.pem -outform DER -out ca.der

# The authority's own small database, so that a certificate can be given
# dates in the past.
: >ca_db/index.txt
echo 1000 >ca_db/serial
cat >ca_db/ca.cnf <<CNF
[ca]
default_ca = test
[test]
database = ca_db/index.txt
serial = ca_db/serial
new_certs_dir = ca_db
default_md = sha256
policy = any
copy_extensions = none
unique_subject = no
[any]
commonName = supplied
[leaf]
basicConstraints = critical,CA:FALSE
keyUsage = critical,digitalSignature,keyEncipherment
extendedKeyUsage = serverAuth
subjectAltName = \${ENV::ZU_SAN}
CNF

leaf() {  # <name> <dns name> <authority> <start> <end>
  openssl req -new -newkey rsa:2048 -nodes -subj "/CN=$2" -keyout "$1.key" -out "$1.csr" 2>/dev/null
  ZU_SAN="DNS:$2" openssl ca -batch -config ca_db/ca.cnf -extensions leaf -notext \
    -cert "$3.pem" -keyfile "$3.key" -startdate "$4" -enddate "$5" \
    -in "$1.csr" -out "$1.pem" 2>/dev/null
  rm -f "$1.csr"
}
now=$(date -u +%s)
utc() { date -u -d "@$1" +%Y%m%d%H%M%SZ; }
from=$(utc $((now - 86400)))
until=$(utc $((now + 30 * 86400)))
leaf localhost localhost ca "$from" "$until"
leaf wrong_name other-host.invalid ca "$from" "$until"
leaf expired localhost ca "$(utc $((now - 400 * 86400)))" "$(utc $((now - 365 * 86400)))"
leaf untrusted localhost stranger_ca "$from" "$until"
