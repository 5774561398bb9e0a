#!/bin/sh
# Draws the default logo, resources/zorvan-logo.png, from drawing primitives alone (no
# fonts, no outside files) and converts it to the picture the saver ships,
# resources/zorvan.pict. Run from anywhere: sh resources/make-logo.sh
#
# The picture is 400 x 200 on plain black, without antialiasing, so every pixel is
# either the background or a clear colour: the motes gather onto a ringed planet over
# the word ZORVAN, and in colour mode 2 they take its colours.
set -eu
CONVERT=${CONVERT:-/usr/bin/convert}
here=$(cd "$(dirname "$0")" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

W=400 H=200

# Fills: pink to gold across the word, gold to rose down the planet.
"$CONVERT" -size ${H}x${W} gradient:'#ff2d9b-#ffc23a' -rotate -90 "$tmp/word.png"
"$CONVERT" -size ${W}x66 gradient:'#ffd24a-#ff4f7a' -background black -gravity north \
  -splice 0x21 -extent ${W}x${H} "$tmp/planet.png"

# Letters are 50 x 80 cells, 10 apart, their tops at y = 108; strokes are 14 wide.
Y=108
cell() { echo "translate $(( 25 + $1 * 60 )),$Y"; }
Z="polygon 0,0 50,0 50,13 17,67 50,67 50,80 0,80 0,67 33,13 0,13"
O_OUT="roundrectangle 0,0 50,80 20,20"
O_IN="roundrectangle 14,14 36,66 8,8"
R_BOWL="roundrectangle 0,0 50,46 18,18"
R_HOLE="roundrectangle 14,13 36,33 6,6"
R_STEM="rectangle 0,0 13,80"
R_LEG="polygon 20,40 35,40 52,80 37,80"
V="polygon 0,0 14,0 25,58 36,0 50,0 32,80 18,80"
A_OUT="polygon 18,0 32,0 50,80 36,80 33,64 17,64 14,80 0,80"
A_HOLE="polygon 25,18 30,50 20,50"
N="polygon 0,0 14,0 36,50 36,0 50,0 50,80 36,80 14,30 14,80 0,80"

# The ring: an annulus around the planet, its far half behind the planet and its near
# half in front, each cut out by a mask.
"$CONVERT" -size ${W}x${H} xc:black +antialias \
  -fill white -draw "ellipse 200,54 100,27 0,360" \
  -fill black -draw "ellipse 200,54 88,16 0,360" "$tmp/ring.png"
"$CONVERT" "$tmp/ring.png" +antialias -fill black -draw "rectangle 0,54 $((W - 1)),$((H - 1))" "$tmp/far.png"
"$CONVERT" "$tmp/ring.png" +antialias -fill black -draw "rectangle 0,0 $((W - 1)),53" "$tmp/near.png"
"$CONVERT" -size ${W}x${H} xc:'#46c8ff' "$tmp/ringfill.png"

"$CONVERT" -size ${W}x${H} xc:black +antialias \
  -tile "$tmp/word.png" \
  -draw "$(cell 0) $Z" \
  -draw "$(cell 1) $O_OUT" \
  -draw "$(cell 2) $R_BOWL" -draw "$(cell 2) $R_STEM" -draw "$(cell 2) $R_LEG" \
  -draw "$(cell 3) $V" \
  -draw "$(cell 4) $A_OUT" \
  -draw "$(cell 5) $N" \
  +tile -fill black \
  -draw "$(cell 1) $O_IN" -draw "$(cell 2) $R_HOLE" -draw "$(cell 4) $A_HOLE" \
  -fill '#fff4c0' \
  -draw "polygon 66,12 71,28 87,33 71,38 66,54 61,38 45,33 61,28" \
  -draw "polygon 338,62 341,71 350,74 341,77 338,86 335,77 326,74 335,71" \
  -draw "polygon 310,10 312,16 318,18 312,20 310,26 308,20 302,18 308,16" \
  -draw "polygon 96,72 98,78 104,80 98,82 96,88 94,82 88,80 94,78" \
  "$tmp/base.png"
"$CONVERT" "$tmp/base.png" "$tmp/ringfill.png" "$tmp/far.png" -composite +antialias \
  -tile "$tmp/planet.png" -draw "circle 200,54 200,22" +tile \
  "$tmp/ringfill.png" "$tmp/near.png" -composite \
  -strip -define png:exclude-chunks=date,time -depth 8 -type TrueColor "PNG24:$here/zorvan-logo.png"

# The picture has 63 colours: stored with a colour table (lossless, no dithering) it
# decodes with a fraction of the memory that ImageMagick's reader takes for direct colour
# (about 7 MB at its peak instead of 26 MB).
"$CONVERT" "$here/zorvan-logo.png" +dither -type Palette "PICT:$here/zorvan.pict"
