#!/usr/bin/env bash
# Draws the program's 16 x 16 icons with ImageMagick into resources/icons/:
# 00..13.png, the image list shared by the menu and the tool bar (5 and 6 are unused but present),
# and up.png, down.png, sort.png, shuffle.png for the four track order buttons; and the program's
# icon at the icon theme's sizes into data/icons/hicolor/.
# The PNG files are committed; run this only to change a picture.
set -euo pipefail
cd "$(dirname "$0")/../resources/icons"

draw() {  # draw NAME DRAW-ARGUMENTS...
    local name=$1
    shift
    convert -size 16x16 xc:none "$@" -strip -define png:exclude-chunks=date,time \
        "PNG32:$name.png"
}

# 0 settings: a grey gear.
draw 00 -fill '#6b6b6b' -stroke '#3c3c3c' \
    -draw "rectangle 7,0 8,15" -draw "rectangle 0,7 15,8" \
    -draw "polygon 2,3 3,2 13,12 12,13" -draw "polygon 12,2 13,3 3,13 2,12" \
    -draw "circle 7.5,7.5 7.5,2.5" -fill '#d8d8d8' -draw "circle 7.5,7.5 7.5,5.5"
# 1 open folder: a yellow folder, lid open.
draw 01 -fill '#e0b020' -stroke '#8a6a00' -draw "polygon 0,3 5,3 6,5 13,5 13,14 0,14" \
    -fill '#f6d860' -draw "polygon 3,8 15,8 13,14 0,14"
# 2 clear list: a sheet crossed out in red.
draw 02 -fill white -stroke '#606060' -draw "rectangle 2,1 12,14" \
    -stroke '#a0a0a0' -draw "line 4,4 10,4" -draw "line 4,7 10,7" -draw "line 4,10 10,10" \
    -stroke '#d01010' -strokewidth 2 -draw "line 6,6 15,15" -draw "line 15,6 6,15"
# 3 exit: a door with a red arrow leaving it.
draw 03 -fill '#9a6a3a' -stroke '#5a3a1a' -draw "rectangle 1,1 8,14" \
    -fill '#d01010' -stroke '#d01010' -draw "rectangle 6,7 11,8" \
    -draw "polygon 11,4 15,7.5 11,11"
# 4 about: a white "i" on a blue disc.
draw 04 -fill '#2060c0' -stroke '#103070' -draw "circle 7.5,7.5 7.5,0.5" \
    -fill white -stroke none -draw "rectangle 6.5,6 8.5,12" -draw "circle 7.5,3.5 7.5,2.3"
# 5 and 6: not used by any item; neutral marks so every index holds a picture.
draw 05 -fill '#b0b0b0' -stroke '#707070' -draw "circle 7.5,7.5 7.5,3.5"
draw 06 -fill '#b0b0b0' -stroke '#707070' -draw "rectangle 4,4 11,11"
# 7 transliteration: a Cyrillic letter, an arrow, a Latin letter.
draw 07 -fill '#203080' -stroke '#203080' -draw "polygon 1,1 6,1 6,2 2,2 2,7 1,7" \
    -fill '#d01010' -stroke '#d01010' -draw "line 4,10 10,10" -draw "polygon 10,8 13,10 10,12" \
    -fill '#106010' -stroke '#106010' -draw "line 9,1 14,1" -draw "line 14,1 9,6" -draw "line 9,6 14,6"
# 8 merge: two arrows joining into one.
draw 08 -stroke '#1060c0' -strokewidth 2 -fill none \
    -draw "line 1,2 7,8" -draw "line 1,14 7,8" -draw "line 7,8 12,8" \
    -fill '#1060c0' -strokewidth 1 -draw "polygon 11,5 15,8 11,11"
# 9 save tag: a blue floppy disk.
draw 09 -fill '#2050a0' -stroke '#102850' -draw "rectangle 1,1 14,14" \
    -fill white -stroke none -draw "rectangle 4,2 11,6" -fill '#c0c0c0' -draw "rectangle 4,9 11,14" \
    -fill '#2050a0' -draw "rectangle 9,3 10,5"
# 10 create folder: a folder with a green plus.
draw 10 -fill '#e0b020' -stroke '#8a6a00' -draw "polygon 0,4 5,4 6,6 12,6 12,14 0,14" \
    -fill '#20a020' -stroke '#106010' -draw "rectangle 11,0 13,6" -draw "rectangle 9,2 15,4"
# 11 rename: a pencil over a text line.
draw 11 -stroke '#808080' -draw "line 1,14 14,14" \
    -fill '#f0c030' -stroke '#705010' -draw "polygon 3,11 11,3 13,5 5,13" \
    -fill '#303030' -draw "polygon 2,14 3,11 5,13"
# 12 tag list: a list with a tag label.
draw 12 -fill white -stroke '#606060' -draw "rectangle 1,1 11,14" \
    -stroke '#808080' -draw "line 3,4 9,4" -draw "line 3,7 9,7" -draw "line 3,10 9,10" \
    -fill '#f08030' -stroke '#904010' -draw "polygon 8,9 13,9 15,11.5 13,14 8,14"
# 13 file list: a page of lines with a note.
draw 13 -fill white -stroke '#606060' -draw "polygon 2,1 10,1 13,4 13,14 2,14" \
    -stroke '#2060c0' -draw "line 4,5 11,5" -draw "line 4,8 11,8" -draw "line 4,11 11,11" \
    -fill '#d0d0d0' -stroke '#606060' -draw "polygon 10,1 10,4 13,4"

# Track order buttons.
draw up -fill '#2060c0' -stroke '#103070' -draw "polygon 8,2 14,10 10,10 10,14 6,14 6,10 2,10"
draw down -fill '#2060c0' -stroke '#103070' -draw "polygon 8,14 14,6 10,6 10,2 6,2 6,6 2,6"
draw sort -fill '#203080' -stroke '#203080' -draw "polygon 1,7 3.5,1 6,7 5,7 3.5,3.5 2,7" \
    -draw "line 1,9 6,9" -draw "line 6,9 1,14" -draw "line 1,14 6,14" \
    -fill '#d01010' -stroke '#d01010' -draw "line 11,1 11,12" -draw "polygon 8,11 14,11 11,15"
draw shuffle -stroke '#106010' -strokewidth 2 -fill none \
    -draw "line 1,4 5,4" -draw "line 5,4 10,12" -draw "line 1,12 5,12" -draw "line 5,12 10,4" \
    -fill '#106010' -strokewidth 1 -draw "polygon 10,1 15,4 10,7" -draw "polygon 10,9 15,12 10,15"

# The program's icon: a silver disc with a blue note, drawn once at 1024 x 1024 and scaled to the
# sizes of the icon theme in data/icons/hicolor/. The window shows it too.
cd ../../data/icons/hicolor
icon=io.github.velmora.Velmora.png
big=$(mktemp --suffix=.png)
trap 'rm -f "$big"' EXIT
convert -size 1024x1024 xc:none \
    -fill '#c9d1de' -stroke '#4f5a6e' -strokewidth 28 -draw "circle 512,512 512,40" \
    -fill none -stroke '#e4e9f1' -strokewidth 60 -draw "arc 170,170 854,854 200,290" \
    -stroke '#aab5c6' -draw "arc 170,170 854,854 20,110" \
    -fill '#f4f6fa' -stroke '#4f5a6e' -strokewidth 20 -draw "circle 512,512 512,340" \
    -fill '#4f5a6e' -stroke none -draw "circle 512,512 512,450" \
    -fill '#2060c0' -stroke white -strokewidth 24 \
    -draw "polygon 560,170 640,170 640,700 560,700" \
    -draw "polygon 560,170 640,170 820,300 820,420 640,300" \
    -draw "ellipse 470,710 150,112 0,360" \
    -stroke none -draw "rectangle 572,182 628,690" -draw "ellipse 470,710 138,100 0,360" \
    "$big"
for size in 16 32 48 64 128 256; do
    mkdir -p "${size}x${size}/apps"
    convert "$big" -filter Lanczos -resize "${size}x${size}" -strip \
        -define png:exclude-chunks=date,time "PNG32:${size}x${size}/apps/$icon"
done
