#!/usr/bin/env bash
# Remakes the demo's sample folder with ImageMagick's command-line tools
# (apt-get install imagemagick). The files are small and kept in the repository so the
# demo runs without them.
set -euo pipefail
cd "$(dirname "$0")"
rm -f -- *.png *.gif *.tif *.ico *.jpg *.bmp *.tga *.txt
convert -size 320x200 gradient:orange-purple sunset.png
convert -size 200x200 xc:none -fill steelblue -draw "circle 100,100 100,20" logo_alpha.png
convert -size 96x96 xc:red xc:green xc:blue -loop 0 -set delay 20 spinner.gif
convert -size 240x160 gradient:white-navy gradient:white-darkgreen -compress lzw scan.tif
convert -size 32x32 xc:gold -fill black -draw "rectangle 8,8 23,23" icon.ico
convert -size 400x300 plasma:fractal -seed 7 -quality 90 photo.jpg
convert -size 120x80 pattern:checkerboard banner.bmp
convert -size 100x60 gradient:teal-white badge.tga
head -c 300 sunset.png > broken.png
printf 'Not a picture: the folder walk leaves this file alone.\n' > notes.txt
