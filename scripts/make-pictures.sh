#!/usr/bin/env bash
# Draws the program's pictures with ImageMagick. Run it by hand after changing a picture;
# the GIF files it writes are committed, so neither building nor running needs ImageMagick.
set -euo pipefail
out="$(cd "$(dirname "$0")/.." && pwd)/resources/images"
mkdir -p "$out"

# A sheet of paper with a folded corner on a transparent 50 x 50 canvas.
sheet() { # fill stroke
    sheet_args=(-size 50x50 xc:none -fill "$1" -stroke "$2" -strokewidth 2
                -draw 'polygon 9,3 32,3 41,12 41,47 9,47'
                -fill "$2" -draw 'polygon 32,3 32,12 41,12')
}

# Unchanged: a plain white page with blue lines of text.
sheet white '#2c5aa0'
convert "${sheet_args[@]}" -stroke '#6d8fc7' -strokewidth 2 \
    -draw 'line 14,20 36,20' -draw 'line 14,27 36,27' \
    -draw 'line 14,34 36,34' -draw 'line 14,41 28,41' \
    "$out/DefaultIcon.gif"

# Not found: a grey page crossed out in red.
sheet '#d9d9d9' '#7a7a7a'
convert "${sheet_args[@]}" -stroke '#d01c1c' -strokewidth 5 \
    -draw 'line 14,18 36,40' -draw 'line 36,18 14,40' \
    "$out/NotFoundIcon.gif"

# Updated: a bright yellow page with a green arrow pointing up.
sheet '#fff3b0' '#d08a00'
convert "${sheet_args[@]}" -fill '#1f9d3a' -stroke '#11692a' -strokewidth 1 \
    -draw 'polygon 25,10 39,26 30,26 30,42 20,42 20,26 11,26' \
    "$out/UpIcon.gif"

# The start window's title picture; the lower left stays calm for the version and user lines.
convert -size 400x200 gradient:'#f4f7fb'-'#c9d6ea' \
    -fill '#1c3d6e' -font DejaVu-Serif-Bold -pointsize 54 -annotate +20+78 'Velmora' \
    -fill '#40618f' -font DejaVu-Sans-Bold -pointsize 14 -annotate +24+104 'watches your web pages' \
    -stroke '#1c3d6e' -strokewidth 2 -draw 'line 20,116 380,116' -stroke none \
    \( "$out/UpIcon.gif" -resize 90x90 \) -geometry +292+4 -composite \
    "$out/Title.gif"
