#!/usr/bin/env bash
# Remakes the ID3v2 fixtures in tests/data/id3v2 with real taggers, from one short encoded file
# without tags. The files are committed; run this only to remake them. Needs id3v2, eyeD3,
# python3-mutagen (Debian's /usr/bin/python3) and ffmpeg. tests/audio/ID3v2FixturesTest.cpp
# checks what each tagger wrote.
set -euo pipefail
cd "$(dirname "$0")/.."
out=tests/data/id3v2
base=tests/data/mpeg25-l3-cbr8-8k-mono.mp3
mkdir -p "$out"
fresh() { cp "$base" "$out/$1"; echo "$out/$1"; }

# eyeD3: UTF-16 text in a 2.3 tag, UTF-8 in a 2.4 tag.
f=$(fresh eyed3-v23-utf16.mp3)
eyeD3 --quiet --to-v2.3 --encoding utf16 -t "Звезда по имени Солнце" -a "Кино" -A "Звезда" \
    -n 3 -N 12 -G Rock -c "Ленинград" "$f" >/dev/null
f=$(fresh eyed3-v24-utf8.mp3)
eyeD3 --quiet --to-v2.4 --encoding utf8 -t "Группа крови" -a "Кино" -n 1 "$f" >/dev/null

# id3v2 (id3lib) writes the bytes it is given into Latin-1 frames: Windows-1251 bytes, as many
# Russian files carry them.
f=$(fresh id3v2-cp1251-in-latin1.mp3)
id3v2 --id3v2-only -t "$(echo -n 'Звезда' | iconv -f UTF-8 -t CP1251)" \
    -a "$(echo -n 'ДДТ' | iconv -f UTF-8 -t CP1251)" -T 5/10 -g 17 "$f"

# mutagen: true Latin-1 text (Café, Motörhead), and a cover picture.
f=$(fresh mutagen-latin1-cover.mp3)
/usr/bin/python3 - "$f" <<'PY'
import sys
from mutagen.id3 import ID3, TIT2, TPE1, TALB, TDRC, APIC
tags = ID3()
tags.add(TIT2(encoding=0, text="Café"))
tags.add(TPE1(encoding=0, text="Motörhead"))
tags.add(TALB(encoding=3, text="Ace of Spades"))
tags.add(TDRC(encoding=0, text="1980"))
tags.add(APIC(encoding=0, mime="image/jpeg", type=3, desc="", data=b"\xff\xd8" + bytes(3000)))
tags.save(sys.argv[1], v2_version=3)
PY

# ffmpeg: its own 2.4 tag (UTF-8) with an ID3v1 tag after the audio.
f=$(fresh ffmpeg-v24.mp3)
ffmpeg -loglevel error -y -i "$base" -c copy -id3v2_version 4 -write_id3v1 1 \
    -metadata title="Утро" -metadata artist="Аквариум" -metadata track=7 "$f.tmp.mp3"
mv "$f.tmp.mp3" "$f"

# Both tags, the ID3v1 one a damaged copy, as taggers of today leave them. mutagen writes ID3v1 in
# Latin-1: every Cyrillic letter becomes "?".
f=$(fresh mutagen-v1-question-marks.mp3)
/usr/bin/python3 - "$f" <<'PY'
import sys
from mutagen.id3 import ID3, TIT2, TPE1
tags = ID3()
tags.add(TIT2(encoding=1, text="Аргентина-Ямайка 5:0"))
tags.add(TPE1(encoding=1, text="Чайф"))
tags.save(sys.argv[1], v1=2, v2_version=3)
PY
# id3v2 (id3lib) given UTF-8 text writes the low byte of each letter into the ID3v1 tag (control
# bytes for Cyrillic), and given Latin-1 bytes writes them as they are ("Café" reads "Cafй").
f=$(fresh id3lib-v1-low-bytes.mp3)
LANG=C.UTF-8 id3v2 -t "Поворот" -a "Машина времени" "$f"
f=$(fresh id3lib-v1-latin1.mp3)
id3v2 -t "$(echo -n 'Café' | iconv -f UTF-8 -t LATIN1)" -a "Motörhead" "$f"
