#!/usr/bin/env bash
# Writes PNGs of many kinds with ImageMagick, each with the RGBA pixels
# ImageMagick itself reads back from it (<name>.rgba, 8 bits per sample), so
# the decoder can be checked against files another encoder made.
#   make-imagemagick-samples.sh <convert> <output directory>
# The files keep ImageMagick's ancillary chunks (gAMA, cHRM, bKGD, tIME,
# tEXt), which the decoder must skip.
set -euo pipefail

convert=$1
out=$2
mkdir -p "$out"
cd "$out"

# Source: colours changing across, an opacity ramp down, and a fully
# transparent row and column. Odd size so rows and Adam7 passes end unevenly.
"$convert" -size 37x29 gradient:'#ff2000'-'#0040ff' \
  \( -size 29x37 gradient:'#00ff80'-'#400020' -rotate 90 \) -compose Multiply -composite \
  \( -size 37x29 gradient:'#ffffff'-'#202020' \) -alpha off -compose CopyOpacity -composite \
  -channel A -fx 'i==5||j==7 ? 0 : a' +channel \
  PNG32:source.png
# The same with on/off transparency, for tRNS colour keys and palettes.
"$convert" source.png -channel A -threshold 50% +channel PNG32:binary.png

sample() {  # name, source, output format prefix, then ImageMagick options
  local name=$1 source=$2 format=$3
  shift 3
  "$convert" "$source" "$@" "$format:$name.png"
  "$convert" "$name.png" -depth 8 "RGBA:$name.rgba"
}

for interlace in None PNG; do
  s=$([ "$interlace" = PNG ] && echo -adam7 || true)
  i=(-interlace "$interlace")
  sample "rgba8$s" source.png PNG "${i[@]}" -define png:color-type=6 -define png:bit-depth=8
  sample "rgba16$s" source.png PNG "${i[@]}" -define png:color-type=6 -define png:bit-depth=16
  sample "rgb8$s" source.png PNG "${i[@]}" -alpha off -define png:color-type=2 -define png:bit-depth=8
  sample "rgb16$s" source.png PNG "${i[@]}" -alpha off -define png:color-type=2 -define png:bit-depth=16
  sample "rgb8-key$s" binary.png PNG "${i[@]}" -define png:color-type=2 -define png:bit-depth=8
  sample "greyalpha8$s" source.png PNG "${i[@]}" -colorspace Gray -define png:color-type=4 -define png:bit-depth=8
  sample "greyalpha16$s" source.png PNG "${i[@]}" -colorspace Gray -define png:color-type=4 -define png:bit-depth=16
  sample "grey8-key$s" binary.png PNG "${i[@]}" -colorspace Gray -define png:color-type=0 -define png:bit-depth=8
  for depth in 1 2 4 8 16; do
    sample "grey$depth$s" source.png PNG "${i[@]}" -alpha off -colorspace Gray -depth "$depth" \
      -define png:color-type=0 -define png:bit-depth="$depth"
  done
  # ImageMagick adds the background colour to the palette, so one colour
  # fewer than the depth holds keeps each file at the depth in its name.
  sample "palette1$s" source.png PNG "${i[@]}" -alpha off -threshold 50% -colors 2 -define png:color-type=3
  sample "palette2$s" source.png PNG "${i[@]}" -alpha off -colors 3 -define png:color-type=3
  sample "palette4$s" source.png PNG "${i[@]}" -alpha off -colors 15 -define png:color-type=3
  sample "palette8$s" source.png PNG "${i[@]}" -alpha off -colors 255 -define png:color-type=3
  sample "palette-key$s" binary.png PNG8 "${i[@]}"
done
