#!/usr/bin/env bash
# Fails when a source file includes a header of a folder above its own (or of
# a sibling at the same level): common -> settings -> net, package ->
# components -> ui -> driver.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
declare -A level=([common]=0 [settings]=1 [net]=2 [package]=2 [components]=3 [ui]=4 [driver]=5)
status=0
for folder in "${!level[@]}"; do
  [ -d "$root/$folder" ] || continue
  while IFS=: read -r file line text; do
    target=$(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([a-z_]*\)\/.*/\1/p' <<<"$text")
    [ -n "$target" ] && [ -n "${level[$target]+x}" ] || continue
    if [ "$target" != "$folder" ] && [ "${level[$target]}" -ge "${level[$folder]}" ]; then
      echo "layers: ${file#$root/}:$line includes $target/ from $folder/" >&2
      status=1
    fi
  done < <(grep -rn --include='*.h' --include='*.cpp' --include='*.c' '^[[:space:]]*#[[:space:]]*include' "$root/$folder" || true)
done
[ $status = 0 ] && echo "layers: every include points down"
exit $status
