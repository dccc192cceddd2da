#!/usr/bin/env bash
# Makes README's pictures again: builds, runs the tests that take them (under
# Wine, on a display of their own) and copies them into docs/.
#   progress.png       the download progress window (net unit tests)
#   prompt_page.png    the prompt with the vendor's page, drawn by the tests'
#   prompt_text.png    browser double, and with the plain text (ui unit tests)
#   update_failed.png  the box of a failed update (a whole run, end to end)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
source "$root/scripts/wine-env.sh"
"$root/scripts/build.sh"
shots="$ZUPDATER_RUN_DIR/tests/screenshots"
rm -f "$shots"/*.png
tests='ProgressPictureTest|UpdateBrowserTest.PicturesOfThePrompt|FaultMatrixTest.*SilentComponent_NotFound'
"$root/scripts/with-wine.sh" bash -c '
  ctest --test-dir "$ZUPDATER_RUN_DIR" --output-on-failure -R "$1" \
    --resource-spec-file "$ZUPDATER_LANES_DIR/resources.json"' pictures "$tests"
for name in progress prompt_page prompt_text update_failed; do
  [ -s "$shots/$name.png" ] || { echo "pictures: no $name.png was taken" >&2; exit 1; }
  cp "$shots/$name.png" "$root/docs/$name.png"
done
echo "pictures: docs/progress.png, prompt_page.png, prompt_text.png, update_failed.png made again"
