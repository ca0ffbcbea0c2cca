#!/usr/bin/env python3
"""Makes the ID3v2 collections of the benches: N files in folders of 100, each with an ID3v2.3
tag (six texts, a track, a comment, a 30 KB picture), MPEG frames and a record. READ gets the
texts in Unicode, MEND the same texts in cp932 marked Latin-1 (what old rippers wrote); "-"
makes none.
    bench/id3v2_files.py READ MEND N
"""
import os, struct, sys
read, mend, n = sys.argv[1], sys.argv[2], int(sys.argv[3])
def frame(fid, body):
    return fid + struct.pack(">IH", len(body), 0) + body
def syncsafe(v):
    return bytes([(v >> 21) & 0x7F, (v >> 14) & 0x7F, (v >> 7) & 0x7F, v & 0x7F])
def utf16(t):
    return b"\x01" + t.encode("utf-16")
picture = b"\x00image/jpeg\x00\x03\x00" + b"\xff\xd8\xff\xe0" + bytes(range(256)) * 120
audio = (b"\xff\xfb\x90\x64" + bytes(413)) * 100
record = b"TAG" + "星に願いを".encode("cp932").ljust(30, b" ") + "星野ひかり".encode("cp932").ljust(30, b" ") + \
    b" " * 64 + b"\x11"
def tag(text):
    frames = text("TIT2", "星に願いを") + text("TPE1", "星野ひかり") + text("TALB", "夜空のアルバム") + \
        text("TYER", "2001") + text("TCON", "(17)") + frame(b"TRCK", b"\x003/12") + \
        frame(b"COMM", b"\x00jpn\x00" + "コメント".encode("cp932")) + frame(b"APIC", picture)
    return b"ID3\x03\x00\x00" + syncsafe(len(frames) + 256) + frames + bytes(256)
good = tag(lambda fid, t: frame(fid.encode(), utf16(t))) + audio + record
mis = tag(lambda fid, t: frame(fid.encode(), b"\x00" + t.encode("cp932"))) + audio + record
for root, data in ((read, good), (mend, mis)):
    if root == "-":
        continue
    for i in range(n):
        folder = os.path.join(root, "disc%03d" % (i // 100))
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, "track%05d.mp3" % i), "wb") as f:
            f.write(data)
