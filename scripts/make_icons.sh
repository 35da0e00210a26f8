#!/bin/bash
# Draws the installer's icon ("zephIcon": a white Z on blue) in every size it ships in, into
# app/resources/icons/. Run it after changing the drawing; the PNGs are kept in the repository.
# installpatchgui.svg there is the same drawing for scalable use; keep the two in step.
set -euo pipefail
cd "$(dirname "$0")/../app/resources/icons"
master=$(mktemp --suffix=.png)
trap 'rm -f "$master"' EXIT
# Drawn four times larger than the largest size, then scaled down, for smooth edges.
convert -size 1024x1024 xc:none \
    -fill '#17487F' -draw "roundrectangle 32,32 991,991 192,192" \
    -fill '#1F5FA8' -draw "roundrectangle 96,96 927,927 144,144" \
    -fill white -draw "polygon 240,240 784,240 784,368 416,656 784,656 784,784 240,784 240,656 608,368 240,368" \
    "$master"
for size in 16 24 32 48 64 128 256; do
    convert "$master" -filter Lanczos -resize "${size}x${size}" -strip \
        -define png:exclude-chunks=date,time PNG32:"installpatchgui-$size.png"
done
