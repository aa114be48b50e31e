#!/usr/bin/env python3
"""Remakes tests/data/damaged: MP3 files whose ID3v2 tag is broken or hostile in the ways a folder
from anywhere can bring (frames that inflate to hundreds of megabytes, sizes past the end,
unsynchronisation, encryption, lying length fields). Each is a tag followed by the MPEG frames of
tests/data/mpeg25-l3-cbr8-8k-mono.mp3. The files are committed; run this only to remake them.
Python's standard library only."""
import os
import struct
import zlib

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
OUT = os.path.join(ROOT, "tests", "data", "damaged")
AUDIO = open(os.path.join(ROOT, "tests", "data", "mpeg25-l3-cbr8-8k-mono.mp3"), "rb").read()


def syncsafe(n):
    return bytes([(n >> 21) & 0x7F, (n >> 14) & 0x7F, (n >> 7) & 0x7F, n & 0x7F])


def header(major, flags, size):
    return b"ID3" + bytes([major, 0, flags]) + syncsafe(size)


def frame(major, fid, body, flags=b"\0\0", size=None):
    n = len(body) if size is None else size
    return fid + (syncsafe(n) if major == 4 else struct.pack(">I", n)) + flags + body


def tag(major, frames, flags=0, padding=64, size=None):
    body = b"".join(frames) + bytes(padding)
    return header(major, flags, len(body) if size is None else size) + body


def zeros_deflated(first, count):
    """A zlib stream of `first` followed by `count` zero bytes, made a megabyte at a time."""
    z = zlib.compressobj(9)
    out = [z.compress(first)]
    chunk = bytes(1 << 20)
    for _ in range(count >> 20):
        out.append(z.compress(chunk))
    out.append(z.compress(bytes(count & ((1 << 20) - 1))))
    out.append(z.flush())
    return b"".join(out)


def write(name, data):
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(data + AUDIO)


os.makedirs(OUT, exist_ok=True)
title = frame(4, b"TIT2", b"\x03Song")

# Compressed frames: ID3v2.4 marks compression with the data length indicator (the inflated size,
# sync-safe, before the zlib stream); ID3v2.3 with four bytes of inflated size.
n = 300 << 20
write("bomb-300mb-v24.mp3",
      tag(4, [frame(4, b"TIT2", syncsafe(n) + zeros_deflated(b"\x00", n), b"\x00\x09"), title]))
n = (1 << 30) - 1
write("bomb-1gb-v23.mp3",
      tag(3, [frame(3, b"TIT2", struct.pack(">I", n) + zeros_deflated(b"\x00", n), b"\x00\x80")]))
n = 64 << 20
write("bomb-picture-v24.mp3",
      tag(4, [title, frame(4, b"APIC", syncsafe(n + 14) +
                           zeros_deflated(b"\x00image/jpeg\x00\x03\x00", n), b"\x00\x09")]))
# Sizes that run past the end: of the tag, of a frame, of an extended header.
write("tag-past-end-v24.mp3", tag(4, [title], size=(1 << 28) - 1))
write("frame-past-end-v23.mp3", tag(3, [frame(3, b"TIT2", b"\x00Song", size=0x7FFFFFF0)]))
write("extended-header-past-end-v24.mp3",
      tag(4, [syncsafe((1 << 28) - 1) + b"\x01\x00", title], flags=0x40))
# A data length indicator that lies, without compression.
write("length-indicator-lies-v24.mp3",
      tag(4, [frame(4, b"TIT2", syncsafe((1 << 28) - 1) + b"\x03Song", b"\x00\x01")]))
# Unsynchronisation of the whole tag (2.3) and of one frame (2.4), encryption (2.4).
write("unsynchronised-v23.mp3", tag(3, [frame(3, b"TIT2", b"\x00So\xff\x00ng")], flags=0x80))
write("unsynchronised-frame-v24.mp3",
      tag(4, [frame(4, b"TIT2", b"\x03So\xff\x00ng", b"\x00\x02"), title]))
write("encrypted-v24.mp3", tag(4, [frame(4, b"TIT2", b"\x80\x01\x02secret",
                                         b"\x00\x04"), title]))
# Frames of no size, and a frame id of garbage.
write("empty-frames-v23.mp3", tag(3, [frame(3, b"TPE1", b""), frame(3, b"TIT2", b"\x00Song")]))
write("garbage-id-v23.mp3", tag(3, [frame(3, b"\x01\x02\x03\x04", b"garbage"), title]))
