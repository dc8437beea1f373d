#!/bin/sh
# Renders the program icon (res/vparse.ico): a small sunset landscape, 32x32,
# 32 bits per pixel, every pixel fully opaque. The picture is drawn at 256x256
# and scaled down so its gradients stay smooth. The noise seed is fixed, so the
# output is the same on every run.
#
# Usage: res/make-icon.sh [output.ico]     (default: next to this script)
set -eu

CONVERT=/usr/bin/convert            # ImageMagick 6; /usr/local/bin may hold something else
HERE=$(cd "$(dirname "$0")" && pwd)
OUT=${1:-"$HERE/vparse.ico"}
S=256

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
cd "$WORK"

# Sky fading from night blue to a warm horizon, then the lake below it.
"$CONVERT" -size ${S}x150 gradient:'#1b2f6b'-'#f7a85c' \
           -size ${S}x106 gradient:'#f0b070'-'#3a5d8c' -append sky.png
# Sun disc and a wide soft glow around it.
"$CONVERT" -size ${S}x${S} xc:none -fill '#fff3c4' \
           -draw "circle 168,118 168,98" -blur 0x5 sun.png
"$CONVERT" -size ${S}x${S} xc:none -fill '#fff0b0' \
           -draw "circle 168,118 168,60" -blur 0x30 \
           -channel A -evaluate multiply 0.6 +channel glow.png
# Distant blue hills across the horizon, a green slope in front.
"$CONVERT" -size ${S}x${S} xc:none -fill '#465a86' \
           -draw "path 'M 0,150 C 40,112 80,132 120,124 C 160,112 200,140 256,122 L 256,165 L 0,165 Z'" \
           -blur 0x1 far.png
"$CONVERT" -size ${S}x${S} xc:none -fill '#24461f' \
           -draw "path 'M 0,205 C 50,168 110,212 160,186 C 200,168 230,186 256,176 L 256,256 L 0,256 Z'" \
           -blur 0x1 near.png
# Cloud-like texture laid over everything.
"$CONVERT" -seed 7 -size ${S}x${S} plasma:'#808080'-'#808080' \
           -colorspace gray -blur 0x3 tex.png

"$CONVERT" sky.png glow.png -composite sun.png -composite \
           far.png -composite near.png -composite \
           tex.png -compose softlight -composite -compose over full.png

# One 32x32 image with an alpha channel set to 255 everywhere: the ICO writer
# then stores it as a 32-bpp BITMAPINFOHEADER image.
"$CONVERT" full.png -resize 32x32 \
           -alpha set -channel A -evaluate set 100% +channel \
           "ICO:$WORK/out.ico"
python3 "$HERE/check-icon.py" "$WORK/out.ico"
mv "$WORK/out.ico" "$OUT"
