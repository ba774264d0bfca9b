#!/bin/sh
# Makes the committed icon files from tavlino.svg. Needs rsvg-convert
# (librsvg2-bin) and icotool (icoutils). Run from anywhere.
set -e
cd "$(dirname "$0")"
mkdir -p hicolor
for size in 16 24 32 48 64 128 256; do
    rsvg-convert -w $size -h $size tavlino.svg -o hicolor/tavlino-$size.png
done
# Windows icon: six sizes, 32-bit colour; 256 is stored as PNG, the rest as bitmaps.
icotool -c -o tavlino.ico \
    -r hicolor/tavlino-256.png \
    hicolor/tavlino-128.png hicolor/tavlino-64.png hicolor/tavlino-48.png \
    hicolor/tavlino-32.png hicolor/tavlino-16.png
