#!/usr/bin/env bash
# Draws the program's pictures with ImageMagick. The results are committed;
# run this only to change them.
set -euo pipefail
cd "$(dirname "$0")"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# A padlock: steel shackle, gold body, dark keyhole.
padlock() {  # size out
  convert -size 64x64 xc:none \
    -fill none -stroke '#56606c' -strokewidth 7 -draw 'arc 17,5 47,41 180,360' \
    -draw 'line 17,23 17,30' -draw 'line 47,23 47,30' \
    -stroke '#8a5a00' -strokewidth 2 -fill '#f0b429' -draw 'roundrectangle 8,28 56,60 6,6' \
    -stroke none -fill '#ffd66b' -draw 'roundrectangle 12,31 52,36 3,3' \
    -fill '#4a3000' -draw 'circle 32,42 32,37' -draw 'polygon 29,44 35,44 36,54 28,54' \
    -resize "$1x$1" "$2"
}

padlock 32 "$tmp/lock32.png"
padlock 24 "$tmp/lock24.png"
padlock 20 "$tmp/lock20.png"
padlock 16 "$tmp/lock16.png"
padlock 39 "$tmp/lock39.png"
padlock 60 "$tmp/lock60.png"

# Program icon: 32 x 32 and 16 x 16.
convert "$tmp/lock32.png" "$tmp/lock16.png" Keepboot.ico
# Notification-area icon: the sizes Windows asks for at 100 %, 125 %, 150 %
# and 200 % scaling; the program picks one by the small-icon metric.
convert "$tmp/lock16.png" "$tmp/lock20.png" "$tmp/lock24.png" "$tmp/lock32.png" TrayIcon.ico

# Banner, 364 x 64: the padlock and the product name on a transparent ground.
convert -size 364x64 xc:none \
  "$tmp/lock60.png" -geometry +4+2 -composite \
  -font DejaVu-Sans-Bold -pointsize 34 -fill '#1f3b63' -annotate +72+40 'Keepboot' \
  -font DejaVu-Sans -pointsize 12 -fill '#4a5a70' -annotate +74+58 'guards what starts with Windows' \
  -depth 8 -define png:color-type=6 Banner.png

# Prompt picture, 39 x 48: the padlock with a question mark.
convert -size 39x48 xc:none \
  "$tmp/lock39.png" -geometry +0+9 -composite \
  -font DejaVu-Sans-Bold -pointsize 16 -fill '#c0392b' -annotate +26+15 '?' \
  -depth 8 -define png:color-type=6 Prompt.png
