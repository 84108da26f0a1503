#!/usr/bin/env bash
# Draws the program's pictures with ImageMagick, and its application icon as SVG rendered to
# PNG with rsvg-convert. Run it by hand after changing a picture; the files it writes are
# committed, so neither building nor running needs either tool.
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
out="$repo/resources/images"
mkdir -p "$out"

# A sheet of paper with a folded corner on a transparent canvas of $size pixels, drawn in the
# coordinates of the 50 x 50 picture and scaled with $scaling.
sheet() { # fill stroke
    sheet_args=(-size "${size}x${size}" xc:none "${scaling[@]}"
                -fill "$1" -stroke "$2" -strokewidth 2
                -draw 'polygon 9,3 32,3 41,12 41,47 9,47'
                -fill "$2" -draw 'polygon 32,3 32,12 41,12')
}

# The tile pictures at 1x, and at 1.5x and 2x for high-resolution screens: the same drawing
# with more pixels. ImageMagick puts pixel centres on whole coordinates, so the drawing is
# scaled about those centres (x becomes scale * x + (scale - 1) / 2), and the strokes widen
# with it.
for variant in 1:50:0: 1.5:75:0.25:@1.5x 2:100:0.5:@2x; do
    IFS=: read -r scale size shift suffix <<<"$variant"
    scaling=()
    [[ "$scale" == 1 ]] || scaling=(-affine "$scale,0,0,$scale,$shift,$shift")

    # Unchanged: a plain white page with blue lines of text.
    sheet white '#2c5aa0'
    convert "${sheet_args[@]}" -stroke '#6d8fc7' -strokewidth 2 \
        -draw 'line 14,20 36,20' -draw 'line 14,27 36,27' \
        -draw 'line 14,34 36,34' -draw 'line 14,41 28,41' \
        "$out/DefaultIcon$suffix.gif"

    # Not found: a grey page crossed out in red.
    sheet '#d9d9d9' '#7a7a7a'
    convert "${sheet_args[@]}" -stroke '#d01c1c' -strokewidth 5 \
        -draw 'line 14,18 36,40' -draw 'line 36,18 14,40' \
        "$out/NotFoundIcon$suffix.gif"

    # Updated: a bright yellow page with a green arrow pointing up.
    sheet '#fff3b0' '#d08a00'
    convert "${sheet_args[@]}" -fill '#1f9d3a' -stroke '#11692a' -strokewidth 1 \
        -draw 'polygon 25,10 39,26 30,26 30,42 20,42 20,26 11,26' \
        "$out/UpIcon$suffix.gif"
done

# The start window's title picture; the lower left stays calm for the version and user lines.
convert -size 400x200 gradient:'#f4f7fb'-'#c9d6ea' \
    -fill '#1c3d6e' -font DejaVu-Serif-Bold -pointsize 54 -annotate +20+78 'Velmora' \
    -fill '#40618f' -font DejaVu-Sans-Bold -pointsize 14 -annotate +24+104 'watches your web pages' \
    -stroke '#1c3d6e' -strokewidth 2 -draw 'line 20,116 380,116' -stroke none \
    \( "$out/UpIcon.gif" -resize 90x90 \) -geometry +292+4 -composite \
    "$out/Title.gif"

# The application icon: the unchanged page, with its last lines making room for a clock face
# in the updated page's yellow. The same 50 x 50 drawing, scaled, serves every size.
icons="$repo/packaging/icons"
mkdir -p "$icons"
cat >"$icons/velmora.svg" <<'SVG'
<?xml version="1.0" encoding="UTF-8"?>
<svg xmlns="http://www.w3.org/2000/svg" width="256" height="256" viewBox="0 0 50 50">
  <polygon points="9,3 32,3 41,12 41,47 9,47" fill="#ffffff" stroke="#2c5aa0" stroke-width="2" stroke-linejoin="round"/>
  <polygon points="32,3 32,12 41,12" fill="#2c5aa0" stroke="#2c5aa0" stroke-width="2" stroke-linejoin="round"/>
  <g stroke="#6d8fc7" stroke-width="2">
    <line x1="14" y1="20" x2="36" y2="20"/>
    <line x1="14" y1="27" x2="27" y2="27"/>
    <line x1="14" y1="34" x2="22" y2="34"/>
    <line x1="14" y1="41" x2="20" y2="41"/>
  </g>
  <circle cx="35" cy="36" r="11" fill="#fff3b0" stroke="#d08a00" stroke-width="2.5"/>
  <g stroke="#1c3d6e" stroke-width="2.2" stroke-linecap="round">
    <line x1="35" y1="36" x2="35" y2="28.5"/>
    <line x1="35" y1="36" x2="40.5" y2="39"/>
  </g>
  <circle cx="35" cy="36" r="1.6" fill="#1c3d6e"/>
</svg>
SVG
for size in 48 64 128 256; do
    rsvg-convert --width "$size" --height "$size" --output "$icons/velmora-$size.png" \
        "$icons/velmora.svg"
done
