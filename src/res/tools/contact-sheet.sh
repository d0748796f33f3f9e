#!/usr/bin/env bash
# Puts every rendered picture of a build on one contact sheet to review the artwork:
# small pictures magnified 4x (pixel for pixel) on a light and a dark ground, then the logo on
# the command bar's shading and the splash picture at their own size. Needs ImageMagick.
#   src/res/tools/contact-sheet.sh <build dir> [output.png]
set -euo pipefail
build="${1:?usage: contact-sheet.sh <build dir> [output.png]}"
out="${2:-contact-sheet.png}"
art="$build/src/res/art"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT

small=(png_315 png_316 png_317 png_318 png_319 png_320 png_321 png_322 png_323 png_324
       icons_128_16 icons_128_32 icons_337_16 icons_337_32 cursor_332)
for name in "${small[@]}"; do
  convert "$art/$name.png" -filter point -resize 400% "$tmp/$name.png"
done
files=()
for name in "${small[@]}"; do files+=("$tmp/$name.png"); done
montage "${files[@]}" -tile 8x -geometry 128x128+6+6 -background '#F5F5F5' "$tmp/light.png"
montage "${files[@]}" -tile 8x -geometry 128x128+6+6 -background '#2A2B2F' "$tmp/dark.png"
convert "$art/png_311.png" -resize '260x72!' "$art/png_313.png" -geometry +3+8 -composite \
  "$tmp/bar.png"
convert "$art/icons_128_256.png" "$art/icons_128_48.png" "$art/icon_337.png" \
  -background '#F5F5F5' -gravity center +append "$tmp/icons.png"
convert "$tmp/light.png" "$tmp/dark.png" "$tmp/bar.png" "$tmp/icons.png" "$art/png_328.png" \
  -background '#F5F5F5' -gravity west -append "$out"
echo "$out"
