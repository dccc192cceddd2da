#!/usr/bin/env bash
# Prints the Windows architecture the tests and the demo run as under Wine:
# i686, as shipped, where this machine runs 32-bit programs; x86_64 where it
# does not (some virtual machines have no 32-bit mode, and a machine may move
# between hosts of both kinds). The shipped zupdater.exe is always built for
# i686. ZUPDATER_TEST_ARCH overrides the answer.
set -euo pipefail
if [ -n "${ZUPDATER_TEST_ARCH:-}" ]; then
  echo "$ZUPDATER_TEST_ARCH"
  exit 0
fi
# A hand-made 32-bit program that only exits: the answer needs no package.
probe=$(mktemp)
trap 'rm -f "$probe"' EXIT
python3 - "$probe" <<'PY'
import struct, sys
code = bytes.fromhex("b801000000" "31db" "cd80")  # exit(0)
base, size = 0x08048000, 52 + 32 + 9
elf = struct.pack("<4sBBBB8xHHIIIIIHHHHHH", b"\x7fELF", 1, 1, 1, 0, 2, 3, 1,
                  base + 84, 52, 0, 0, 52, 32, 1, 0, 0, 0)
phdr = struct.pack("<IIIIIIII", 1, 0, base, base, size, size, 5, 0x1000)
open(sys.argv[1], "wb").write(elf + phdr + code)
PY
chmod +x "$probe"
if "$probe" 2>/dev/null; then echo i686; else echo x86_64; fi
