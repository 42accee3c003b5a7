#!/bin/sh
# Draws the icon from morvane.mvg (needs ImageMagick and fonts-dejavu).
#   make-icon.sh                      regenerates Значок.ico and morvane.png beside this script
#   make-icon.sh hicolor DIR SIZE...  DIR/<SIZE>/morvane.png for the desktop's icon theme (run by the build)
set -eu
here=$(cd "$(dirname "$0")" && pwd)
# Drawn once at full size; the smaller sizes are scaled down from it, as in the .ico.
render() {
  convert -size 256x256 xc:none -draw "$(grep -v -e '^#' -e '^viewbox' "$here/morvane.mvg")" "$1"
}

if [ "${1:-}" = hicolor ]; then
  dir=$2; shift 2
  mkdir -p "$dir"
  render "$dir/morvane-full.png"
  for size in "$@"; do
    mkdir -p "$dir/$size"
    # No time stamps: the same source gives the same files, in the package too.
    convert "$dir/morvane-full.png" -resize "${size}x${size}" -depth 8 -strip -define png:exclude-chunks=date,time \
      "$dir/$size/morvane.png"
  done
  exit 0
fi
render "$here/morvane.png"
convert "$here/morvane.png" -depth 8 -define icon:auto-resize=256,128,64,48,32,24,16 "$here/Значок.ico"
