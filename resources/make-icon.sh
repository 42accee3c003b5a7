#!/bin/sh
# Regenerates Значок.ico and morvane.png from morvane.mvg (needs ImageMagick and fonts-dejavu).
set -eu
cd "$(dirname "$0")"
convert -size 256x256 xc:none -draw "$(grep -v -e '^#' -e '^viewbox' morvane.mvg)" morvane.png
convert morvane.png -depth 8 -define icon:auto-resize=256,128,64,48,32,24,16 Значок.ico
