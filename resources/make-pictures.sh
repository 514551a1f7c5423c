#!/usr/bin/env bash
# Draws the program's pictures with ImageMagick. The files it writes are
# committed and are what the build embeds; run this again only to change them:
#   resources/make-pictures.sh            (from anywhere; writes next to itself)
#
# Every picture is drawn at 8x its size and scaled down with a box filter, so
# edges come out anti-aliased. No fonts are used, so the result does not
# depend on what is installed. Output is stripped of dates and comments to
# keep regenerated files byte-for-byte stable.
set -euo pipefail

convert=${CONVERT:-convert}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

png_options=(-strip -define png:exclude-chunks=date,time,gAMA,cHRM,sRGB,bKGD)

# --- logo.jpg: the maker's (Tavimo) logo, 77 x 77, baseline JPEG ------------
# A white kestrel in flight seen from below, pointed wings swept back and a
# long squared tail, over a lighter disc on a deep teal square.
"$convert" -size 616x616 xc:'#17606a' \
  -fill '#2b8791' -draw 'circle 308,316 308,62' \
  -fill white -stroke none \
  -draw 'path "M 290,205
                C 220,168 120,168 40,266
                C 130,240 210,262 270,322
                L 284,384
                L 254,512
                C 290,522 326,522 362,512
                L 332,384
                L 346,322
                C 406,262 486,240 576,266
                C 496,168 396,168 326,205 Z"' \
  -draw 'circle 308,176 308,134' \
  -fill '#17606a' -draw 'circle 324,168 324,158' \
  -fill '#f2a33a' -draw 'path "M 344,178 L 378,190 L 344,200 Z"' \
  -filter Box -resize 77x77 \
  -strip -interlace none -sampling-factor 1x1 -quality 92 -type TrueColor \
  "JPEG:$here/logo.jpg"

# --- help.png: 31 x 31 RGBA, light grey disc with a white question mark ---
# Transparent outside the disc.
"$convert" -size 248x248 xc:none \
  -fill '#b9bcc0' -stroke none -draw 'circle 124,124 124,2' \
  -draw "fill none stroke white stroke-width 30 stroke-linecap round stroke-linejoin round
         ellipse 124,90 44,42 180,415
         polyline 142,128 124,146 124,162" \
  -fill white -stroke none -draw 'circle 124,204 124,185' \
  -filter Box -resize 31x31 \
  "${png_options[@]}" "PNG32:$here/help.png"

# --- kestrune-48.png / kestrune.ico: the program icon, 48 x 48 RGBA --------
# A white "K" whose upper arm is a swept kestrel wing, on a rounded russet
# square shaded lighter at the top; transparent outside the rounded corners.
"$convert" -size 384x384 gradient:'#dc7442'-'#a9421e' -alpha set \
  \( -size 384x384 xc:none -fill white -draw 'roundrectangle 8,8 375,375 76,76' \) \
  -compose DstIn -composite -compose Over \
  -fill white -stroke none \
  -draw 'polygon 104,80 160,80 160,304 104,304' \
  -draw 'path "M 160,212 C 200,150 250,104 334,70 C 292,120 252,172 216,226 Z"' \
  -draw 'polygon 188,204 236,184 324,304 260,304' \
  -filter Box -resize 48x48 \
  "${png_options[@]}" "PNG32:$work/icon.png"
cp "$work/icon.png" "$here/kestrune-48.png"
# One 48 x 48 32-bit image (BMP with alpha inside the ICO).
"$convert" "$work/icon.png" -define icon:auto-resize=48 "ICO:$here/kestrune.ico"

echo "wrote logo.jpg help.png kestrune-48.png kestrune.ico in $here"
