#!/usr/bin/env bash
# Draws the skin image (resources/skin.png) and the application icon
# (resources/SetupInstall.ico) from resources/art/make_art.py.
#
#   scripts/make-art.sh            redraw both and replace the checked-in files
#   scripts/make-art.sh --check    redraw into a scratch folder and compare with
#                                  the checked-in files (exit 1 when they differ)
#   scripts/make-art.sh --preview  also write build/art/preview-dark.png and
#                                  build/art/preview-light.png (skin and icon
#                                  images over a dark and a light background)
#
# Needs Debian's imagemagick, icoutils, python3 and fonts-liberation. The same
# run gives the same bytes: no dates, text chunks or profiles are written.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
convert=/usr/bin/convert
python=/usr/bin/python3
sizes=(256 128 64 48 32 24 16)

check=0 preview=0
for arg in "$@"; do
    case $arg in
        --check) check=1 ;;
        --preview) preview=1 ;;
        *) echo "usage: $0 [--check] [--preview]" >&2; exit 2 ;;
    esac
done

for tool in "$convert" "$python" icotool identify; do
    command -v "$tool" >/dev/null || { echo "make-art: $tool missing" >&2; exit 1; }
done

out=$(mktemp -d "${TMPDIR:-/tmp}/make-art.XXXXXX")
trap 'rm -rf "$out"' EXIT

"$python" "$here/resources/art/make_art.py" "$out"

# The 256-pixel image goes in as PNG, the others as 32-bit bitmaps with alpha.
bitmaps=()
for s in "${sizes[@]:1}"; do bitmaps+=("$out/icon-$s.png"); done
icotool -c -b 32 -o "$out/SetupInstall.ico" --raw="$out/icon-256.png" "${bitmaps[@]}"

# The outputs must be what the resource script and the window expect.
fail() { echo "make-art: $*" >&2; exit 1; }
png_type() { od -An -tu1 -j24 -N2 "$1" | tr -s ' ' | sed 's/^ //'; }   # bit depth, colour type
[ "$(identify -format '%wx%h' "$out/skin.png")" = 424x300 ] || fail "skin.png is not 424x300"
[ "$(png_type "$out/skin.png")" = "8 6" ] || fail "skin.png is not 8-bit RGBA"
listing=$(icotool -l "$out/SetupInstall.ico")
for s in "${sizes[@]}"; do
    grep -q -- "--width=$s --height=$s --bit-depth=32 " <<<"$listing" ||
        fail "SetupInstall.ico has no 32-bit ${s}x$s image"
done
[ "$(wc -l <<<"$listing")" -eq ${#sizes[@]} ] || fail "SetupInstall.ico has extra images"

if [ $preview -eq 1 ]; then
    mkdir -p "$here/build/art"
    for bg in dark:'#202020' light:'#ececec'; do
        name=${bg%%:*} colour=${bg#*:}
        icons=()
        for s in "${sizes[@]}"; do icons+=("$out/icon-$s.png"); done
        "$convert" \
            \( -size 464x340 "xc:$colour" "$out/skin.png" -gravity center -composite -scale 200% \) \
            \( -background "$colour" "${icons[@]}" -gravity east -splice 24x0 -gravity south +append \
               -gravity center -extent 928x300 \) \
            -append "$here/build/art/preview-$name.png"
        echo "make-art: build/art/preview-$name.png"
    done
fi

if [ $check -eq 1 ]; then
    status=0
    for f in skin.png SetupInstall.ico; do
        if cmp -s "$out/$f" "$here/resources/$f"; then
            echo "make-art: resources/$f is up to date"
        else
            echo "make-art: resources/$f differs from a fresh drawing" >&2
            status=1
        fi
    done
    exit $status
fi

cp "$out/skin.png" "$here/resources/skin.png"
cp "$out/SetupInstall.ico" "$here/resources/SetupInstall.ico"
echo "make-art: wrote resources/skin.png and resources/SetupInstall.ico"
