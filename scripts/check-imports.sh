#!/usr/bin/env bash
# Checks that a Windows program is one self-contained file: it may import
# only the system's own DLLs, and never WININET.DLL (loaded by name at run
# time); and that it carries its manifest, running as the user who starts it.
# With "release" as third argument: also that it carries none of the test
# builds' hooks (their environment variables all start with ZUPDATER_TEST_).
set -euo pipefail
exe=${1:?program}
arch=${2:-i686}  # i686 is what ships; x86_64 only where the tests run so
kind=${3:-}
allowed='^(ADVAPI32|COMCTL32|COMDLG32|GDI32|KERNEL32|MSVCRT|OLE32|OLEAUT32|SHELL32|SHLWAPI|USER32|VERSION|WS2_32|CRYPT32|BCRYPT|CABINET|UUID|URLMON)\.DLL$'
headers=$($arch-w64-mingw32-objdump -p "$exe")
dlls=$(awk '/DLL Name:/{print toupper($3)}' <<<"$headers")
[ -n "$dlls" ] || { echo "no imports read from $exe" >&2; exit 1; }
status=0
for d in $dlls; do
  if [ "$d" = WININET.DLL ] || ! [[ $d =~ $allowed ]]; then
    echo "unexpected import: $d" >&2; status=1
  fi
done
grep -q 'Subsystem.*Windows GUI' <<<"$headers" || { echo "not a GUI program" >&2; status=1; }
# Without a manifest asking for the user's own rights, Windows' installer
# detection asks an updater for an administrator, or redirects its writes.
if manifest=$(python3 "$(dirname "$0")/pe_manifest.py" "$exe"); then
  grep -Eq '<requestedExecutionLevel level="asInvoker" uiAccess="false"/>' <<<"$manifest" ||
    { echo "the manifest does not request asInvoker without uiAccess" >&2; status=1; }
else
  echo "no application manifest in $exe" >&2; status=1
fi
magic=010b
[ "$arch" = x86_64 ] && magic=020b
[ "$(awk '/^Magic/{print $2}' <<<"$headers")" = $magic ] || { echo "not an $arch program" >&2; status=1; }
if [ "$kind" = release ] && grep -aq 'ZUPDATER_TEST_' "$exe"; then
  echo "a test hook is compiled into $exe" >&2; status=1
fi
[ $status = 0 ] && echo "imports: $(echo $dlls | tr '\n' ' ')"
exit $status
