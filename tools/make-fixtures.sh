#!/usr/bin/env bash
# Regenerates the short encoded MP3 files in tests/data from generated tones. The files are
# committed; run this only to remake them. Needs lame, and sox or python3 to write the tone.
# The tests in tests/audio/FixturesTest.cpp check what these encoder settings imply.
set -euo pipefail
cd "$(dirname "$0")/.."
out=tests/data
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# tone SECONDS FILE: a 440 Hz stereo tone with a slow 660 Hz beat, 44100 Hz, 16-bit WAV.
tone() {
    if command -v sox >/dev/null; then
        sox -n -r 44100 -b 16 -c 2 "$2" synth "$1" sine 440 sine 660 vol 0.5
    else
        python3 - "$1" "$2" <<'PY'
import math, struct, sys, wave
seconds, path = float(sys.argv[1]), sys.argv[2]
rate = 44100
with wave.open(path, "wb") as w:
    w.setnchannels(2)
    w.setsampwidth(2)
    w.setframerate(rate)
    frames = bytearray()
    for i in range(int(seconds * rate)):
        t = i / rate
        left = int(12000 * math.sin(2 * math.pi * 440 * t))
        right = int(12000 * math.sin(2 * math.pi * 660 * t))
        frames += struct.pack("<hh", left, right)
    w.writeframes(bytes(frames))
PY
    fi
}

tone 1.5 "$work/short.wav"
tone 2 "$work/long.wav"

enc() { lame --quiet --noreplaygain "$@"; }

# MPEG-1 Layer III, 128 kbit/s CBR, 44100 Hz, joint stereo, no tag.
enc -b 128 -m j --resample 44.1 "$work/short.wav" "$out/mpeg1-l3-cbr128-44k-joint.mp3"
# MPEG-2 Layer III, 32 kbit/s, 22050 Hz, mono.
enc -b 32 -m m --resample 22.05 "$work/long.wav" "$out/mpeg2-l3-cbr32-22k-mono.mp3"
# MPEG-2.5 Layer III, 16 kbit/s, 11025 Hz, mono.
enc -b 16 -m m --resample 11.025 "$work/long.wav" "$out/mpeg25-l3-cbr16-11k-mono.mp3"
# MPEG-2.5 Layer III, 8 kbit/s, 8000 Hz, mono.
enc -b 8 -m m --resample 8 "$work/long.wav" "$out/mpeg25-l3-cbr8-8k-mono.mp3"
# MPEG-1 Layer III VBR with a Xing header, 44100 Hz, joint stereo.
enc -V 7 -m j --resample 44.1 "$work/long.wav" "$out/mpeg1-l3-vbr-xing-44k.mp3"
# MPEG-2 Layer III VBR with a Xing header, 22050 Hz, mono: 576 samples a frame.
enc -V 7 -m m --resample 22.05 "$work/long.wav" "$out/mpeg2-l3-vbr-xing-22k-mono.mp3"
# MPEG-1 Layer III, 48 kbit/s, 32000 Hz, mono, with an ID3v1.1 tag (track 7, genre Rock).
enc -b 48 -m m --resample 32 --id3v1-only --tt "Fixture Title" --ta "Fixture Artist" \
    --tl "Fixture Album" --ty 2001 --tc "Fixture comment" --tn 7 --tg Rock \
    "$work/long.wav" "$out/mpeg1-l3-cbr48-32k-mono-id3v1.mp3"
# MPEG-1 Layer III, 64 kbit/s, 48000 Hz, plain stereo, with only an ID3v2 tag in UTF-16
# (its text frames begin with the byte-order mark FF FE) padded to a few kilobytes.
enc -b 64 -m s --resample 48 --id3v2-only --id3v2-utf16 --pad-id3v2-size 3000 \
    --tt "Заголовок" --ta "Исполнитель" "$work/short.wav" "$out/mpeg1-l3-cbr64-48k-stereo-id3v2.mp3"

ls -l "$out"/*.mp3
