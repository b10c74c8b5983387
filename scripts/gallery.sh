#!/usr/bin/env bash
# The progress window at about half way in all 17 languages, on one contact
# sheet: build/gallery.png (and, with --docs, the small copy docs/gallery.png
# that the README shows). Runs the real installer once per language under Wine
# in a prefix of its own (build/gallery/wine), through the language test of
# the window's end-to-end tests, which sets the system language and maps the
# missing "Consolas" to a Debian font covering that language.
#   scripts/gallery.sh [--docs]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
docs=0
[ "${1:-}" = --docs ] && docs=1
"$here/scripts/build.sh"
build=${SETUPINSTALL_BUILD_DIR:-$here/build}
shots=$build/x64/screenshots/ui
export SETUPINSTALL_WINE_DIR=$build/gallery/wine SETUPINSTALL_GALLERY=1
run="$here/scripts/wine-run.sh"
rm -f "$shots"/language_*.png
"$run" --teardown
"$run" --init
status=0
"$run" "$build/x64/tests/ui/ui_e2e_tests.exe" --gtest_filter='Languages/LanguageWindow.*' \
    >"$build/gallery/run.txt" 2>&1 || status=$?
"$run" --teardown
grep -E '^(\[  (FAILED|PASSED) |.*ink pixels)' "$build/gallery/run.txt" || true
count=$(ls "$shots"/language_*.png 2>/dev/null | wc -l)
[ "$count" = 17 ] || { echo "gallery: $count of 17 screenshots (see $build/gallery/run.txt)" >&2; exit 1; }

labelled=()
for f in "$shots"/language_*.png; do labelled+=(-label "$(basename "$f" .png | sed 's/^language_//')" "$f"); done
/usr/bin/montage "${labelled[@]}" -tile 4x -geometry +6+6 -background white -pointsize 14 "$build/gallery.png"
echo "gallery: $build/gallery.png ($(stat -c %s "$build/gallery.png") bytes)"
if [ $docs = 1 ]; then
    mkdir -p "$here/docs"
    # The lower band of each window (status line, percentage, bar) at full size.
    cropped=()
    for f in "$shots"/language_*.png; do
        cropped+=(-label "$(basename "$f" .png | sed 's/^language_//')" "$f[424x64+0+206]")
    done
    /usr/bin/montage "${cropped[@]}" -tile 3x -geometry +4+4 -background white -pointsize 13 \
        -strip -colors 64 "$here/docs/gallery.png"
    echo "gallery: $here/docs/gallery.png ($(stat -c %s "$here/docs/gallery.png") bytes)"
fi
exit $status
