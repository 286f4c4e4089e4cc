#!/usr/bin/env bash
# Fixtures of the preview tests: pictures from ImageMagick, text, sounds and LZMA frames
# from Python (make_fixtures.py). Usage: make_fixtures.sh <fixture folder>
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=${1:?fixture folder}
mkdir -p "$out"

python3 "$here/make_fixtures.py" "$out"

# A 3x2 RGBA picture with distinct pixels, written as PAM so that ImageMagick only converts.
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
printf 'P7\nWIDTH 3\nHEIGHT 2\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n' >"$tmp/p.pam"
printf '\xff\x00\x00\xff\x00\xff\x00\xff\x00\x00\xff\xff\xff\xff\xff\x80\x00\x00\x00\x00\x0a\x14\x1e\x28' >>"$tmp/p.pam"
cp "$tmp/p.pam" "$out/picture.pam"

convert "$tmp/p.pam" "$out/picture.png"
convert -size 1x1 'xc:rgba(200,100,50,0.5)' "$out/one_pixel.png"
# Rows stored bottom first (the usual TGA order) and top first.
convert "$tmp/p.pam" -flip "$out/picture_bottom_up32.tga"
convert "$tmp/p.pam" -alpha off -flip "$out/picture_bottom_up24.tga"
convert "$tmp/p.pam" -orient TopLeft "$out/picture_top_down32.tga"
convert "$tmp/p.pam" -orient TopLeft -compress RLE "$out/picture_rle32.tga"
convert "$tmp/p.pam" -alpha off -orient TopLeft -colorspace gray "$out/picture_gray.tga"
convert "$tmp/p.pam" -alpha off -orient TopLeft -colorspace gray -compress RLE "$out/picture_gray_rle.tga"
# Colour map of 24-bit entries: not one of the layouts the game uses.
convert "$tmp/p.pam" -alpha off -orient TopLeft -type Palette "$out/picture_palette24.tga"
