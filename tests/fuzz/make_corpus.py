#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into corpus/<target>/.

The files are small hand-made images of what the readers meet: MPEG streams with and
without an ID3v1 record, RMP files whole and damaged in the usual ways, and settings
images. Run it again after changing it; it rewrites every file it knows and leaves others.

    python3 tests/fuzz/make_corpus.py [corpus-folder]
"""
import os
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))


def le32(v):
    return struct.pack("<I", v & 0xFFFFFFFF)


# Bytes of a few cp932 texts, written out so this file stays plain ASCII.
CP932_TITLE = b"\x83\x65\x83\x58\x83\x67\x82\xcc\x8b\xc8"   # a katakana word, a hiragana, a kanji
CP932_ARTIST = b"\x89\xcc\x8e\xe8 \x82\x60\x82\x61"          # kanji, a space, full-width A B
CP932_ALBUM = b"\x83\x41\x83\x8b\x83\x6f\x83\x80"
CP932_COMMENT = b"\x82\xa0\x82\xa2\x82\xa4 comment"


def mpeg_frames(count, fill=0x55):
    # MPEG-1 layer III, 32 kbit/s, 44.1 kHz, no padding: 104 bytes a frame.
    frame = b"\xff\xfb\x10\x00" + bytes([fill]) * 100
    return frame * count


def field(text, width):
    text = text[:width]
    return text + b" " * (width - len(text))


def record(title=b"", artist=b"", album=b"", year=b"", comment=b"", genre=255, raw_fields=None):
    if raw_fields is not None:
        body = raw_fields
    else:
        body = field(title, 30) + field(artist, 30) + field(album, 30) + field(year, 4) + field(comment, 30)
    out = b"TAG" + body + bytes([genre])
    assert len(out) == 128, len(out)
    return out


def chunk(cid, data, pad=True, size=None):
    out = cid + le32(len(data) if size is None else size) + data
    if pad and len(data) & 1:
        out += b"\x00"
    return out


def rmp(stream, subchunks, pad_stream=True, data_size=None, list_size=None, riff_size=None):
    data = chunk(b"data", stream, pad=pad_stream, size=data_size)
    body = b"INFO" + b"".join(subchunks)
    lst = b"LIST" + le32(len(body) if list_size is None else list_size) + body
    whole = b"RMP3" + data + lst
    return b"RIFF" + le32(len(whole) if riff_size is None else riff_size) + whole


def text_chunk(cid, text):
    return chunk(cid, text + b"\x00")


REC = record(CP932_TITLE, CP932_ARTIST, CP932_ALBUM, b"1999", CP932_COMMENT, genre=13)

TEN_TEXTS = [
    text_chunk(b"INAM", CP932_TITLE),
    text_chunk(b"IART", CP932_ARTIST),
    text_chunk(b"IPRD", CP932_ALBUM),
    text_chunk(b"ICMT", CP932_COMMENT),
    text_chunk(b"ICRD", b"1999"),
    text_chunk(b"IGNR", b"Pop"),
    text_chunk(b"ICOP", b"(c) nobody"),
    text_chunk(b"IENG", b"engineer"),
    text_chunk(b"ISRC", b"source"),
    text_chunk(b"ISFT", b"kessa 0.29"),
]
IID3 = chunk(b"IID3", REC)
OTHER = chunk(b"ISBJ", b"odd!!")  # odd data, so a pad byte follows


def rmp_files():
    stream = mpeg_frames(3)
    files = {}
    files["rmp_full.rmp"] = rmp(stream, TEN_TEXTS + [OTHER] + [IID3])
    files["rmp_odd_data.rmp"] = rmp(stream[:-1], TEN_TEXTS[:5] + [IID3])
    # A writer that forgot the pad byte after odd data: the list starts one byte early.
    files["rmp_odd_data_no_pad.rmp"] = rmp(stream[:-1], TEN_TEXTS[:5] + [IID3], pad_stream=False)
    files["rmp_truncated.rmp"] = files["rmp_full.rmp"][:420]
    files["rmp_cut_in_record.rmp"] = files["rmp_full.rmp"][:-60]
    files["rmp_no_iid3.rmp"] = rmp(stream, TEN_TEXTS + [OTHER])
    files["rmp_no_iid3_trailing_record.rmp"] = rmp(stream, TEN_TEXTS[:3]) + REC
    files["rmp_no_list.rmp"] = b"RIFF" + le32(4 + 8 + len(stream)) + b"RMP3" + chunk(b"data", stream)
    files["rmp_header_only.rmp"] = b"RIFF" + le32(12) + b"RMP3data" + le32(0)
    files["rmp_data_oversized.rmp"] = rmp(stream, [], data_size=0x7FFFFFFF)[:20 + len(stream)] + REC
    files["rmp_list_oversized.rmp"] = rmp(stream, TEN_TEXTS[:4] + [IID3], list_size=0xFFFFFFF0)
    files["rmp_list_short.rmp"] = rmp(stream, TEN_TEXTS[:4] + [IID3], list_size=60)
    # Texts longer than the 255 bytes a text may hold; a lead byte sits on the cut.
    long_text = b"x" * 254 + b"\x83\x65" + b"y" * 40
    files["rmp_long_texts.rmp"] = rmp(stream, [
        text_chunk(b"INAM", long_text),
        chunk(b"IART", b"no terminator"),
        text_chunk(b"IPRD", b"a\x00b after zero"),
        chunk(b"ICMT", b""),
        text_chunk(b"ICRD", b"12345"),
        IID3,
    ])
    # An odd other sub-chunk is the last thing in the list and has no pad byte.
    files["rmp_other_last_odd.rmp"] = rmp(stream, TEN_TEXTS[:2] + [chunk(b"IKEY", b"abc", pad=False)])
    files["rmp_sub_oversized.rmp"] = rmp(stream, TEN_TEXTS[:2] + [chunk(b"ICMT", b"short", size=0x10000)])
    files["rmp_many_empty_subs.rmp"] = rmp(stream[:104], [chunk(b"JUNK", b"")] * 200 + [IID3])
    files["rmp_duplicate_texts.rmp"] = rmp(stream[:104], TEN_TEXTS[:2] + TEN_TEXTS[:2] + [IID3, OTHER])
    files["riff_wave_not_rmp.wav"] = b"RIFF" + le32(36) + b"WAVEfmt " + le32(16) + bytes(16) + b"data" + le32(0)
    return files


def mpeg_files():
    files = {}
    files["mpeg_with_record.mp3"] = mpeg_frames(3) + REC
    files["mpeg_no_record.mp3"] = mpeg_frames(3)
    files["record_only.mp3"] = REC
    files["short_127.mp3"] = REC[:127]
    files["record_blank.mp3"] = mpeg_frames(1) + record()
    files["record_zero_fields.mp3"] = mpeg_frames(1) + b"TAG" + bytes(124) + b"\x00"
    # Fields that fill their width: trailing spaces, a lead byte at the last position.
    full = (CP932_TITLE + b" " * 19 + b"\x83") + (b"A" * 29 + b" ") + (b"B" * 30) + b"2024" + (b" " * 30)
    files["record_full_fields.mp3"] = mpeg_frames(1) + record(raw_fields=full, genre=0)
    files["id3v2_head.mp3"] = b"ID3\x03\x00\x00\x00\x00\x00\x0a" + bytes(10) + mpeg_frames(1) + REC
    files["zip_head.zip"] = b"PK\x03\x04" + bytes(26)
    files["lzh_head.lzh"] = b"\x20\x00-lh5-" + bytes(20)
    files["jpeg_head.jpg"] = b"\xff\xd8\xff\xe0\x00\x10JFIF\x00" + bytes(16)
    files["empty.bin"] = b""
    files["three_bytes.bin"] = b"\xff\xfb\x10"
    return files


# The settings image: 30 fixed-width fields, 45,964 bytes.
HISTORY_OFFSET = 12
HISTORY_ENTRY = 160
SLOTS = {  # offset, width
    "winamp_path": (8016, 4096),
    "spare_text1": (12112, 4096),
    "display_name": (16208, 4096),
    "spare_text2": (20316, 1024),
    "zip_program": (21340, 4096),
    "lzh_program": (25436, 4096),
    "copy_folder": (29532, 4096),
    "mpman_path": (33644, 4096),
    "start_folder": (37740, 4096),
    "jpeg_program": (41840, 4096),
}
SETTINGS_SIZE = 45964


def frame(header, fill=0x55, body=None):
    """One MPEG audio frame of the length its four header bytes give (layer III only)."""
    h = int.from_bytes(header, "big")
    version = (h >> 19) & 3  # 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5
    rates = {3: (44100, 48000, 32000), 2: (22050, 24000, 16000), 0: (11025, 12000, 8000)}[version]
    kbits = ((0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0) if version == 3 else
             (0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0))[(h >> 12) & 15]
    length = (144 if version == 3 else 72) * kbits * 1000 // rates[(h >> 10) & 3] + ((h >> 9) & 1)
    body = (body or b"")[:length - 4]
    return header + body + bytes([fill]) * (length - 4 - len(body))


def xing_frame(frames, size, toc=True, tag=b"Xing"):
    """A 128 kbit/s MPEG-1 stereo frame holding a Xing (or Info) header: count, bytes, contents."""
    flags = 7 if toc else 3
    contents = bytes(i * 256 // 100 for i in range(100)) if toc else b""
    body = bytes(32) + tag + struct.pack(">III", flags, frames, size) + contents
    return frame(b"\xff\xfb\x90\x00", 0, body)


def vbri_frame(frames, size):
    body = bytes(32) + b"VBRI" + struct.pack(">HHHII", 1, 0, 75, size, frames)
    return frame(b"\xff\xfb\x90\x00", 0, body)


def stream_files():
    """Streams as the player's reader meets them: headers of every kind in front, rates that
    change, lost sync, and the containers around them."""
    cbr = frame(b"\xff\xfb\x90\x00") * 6  # 128 kbit/s, 44.1 kHz
    vbr = b"".join(frame(h) for h in (b"\xff\xfb\x50\x00", b"\xff\xfb\xb2\x00", b"\xff\xfb\x90\x00",
                                       b"\xff\xfb\xe0\x00", b"\xff\xfb\x30\x00"))
    id3v2 = b"ID3\x03\x00\x00\x00\x00\x00\x0a" + bytes(10)
    files = {}
    files["cbr_plain.mp3"] = cbr
    files["cbr_info_header.mp3"] = xing_frame(6, 6 * 418, tag=b"Info") + cbr + REC
    files["vbr_xing_toc.mp3"] = id3v2 + xing_frame(5, len(vbr)) + vbr
    files["vbr_xing_no_toc.mp3"] = xing_frame(5, len(vbr), toc=False) + vbr
    files["vbr_vbri.mp3"] = vbri_frame(5, len(vbr)) + vbr
    files["vbr_plain_lost_sync.mp3"] = vbr[:300] + b"\xff\xfb\x00garbage\xff" + vbr[300:]
    files["mpeg2_mono.mp3"] = frame(b"\xff\xf3\x40\xc0") * 4 + frame(b"\xff\xf3\x80\xc0") * 3
    files["mpeg25.mp3"] = frame(b"\xff\xe3\x40\x00") * 4
    files["rmp_stream.rmp"] = rmp(cbr, TEN_TEXTS[:2] + [IID3])
    files["xing_only.mp3"] = xing_frame(1000, 1 << 20)
    files["cut_in_frame.mp3"] = (xing_frame(6, 6 * 418) + cbr)[:-200]
    return files


def put(buf, offset, data):
    buf[offset:offset + len(data)] = data


def history_entry(title, artist, album, year, comment, genre):
    out = le32(1)
    for text, width in ((title, 34), (artist, 34), (album, 34), (year, 8), (comment, 34)):
        out += text[:width] + bytes(width - min(len(text), width))
    out += bytes([genre]) + bytes(3) + le32(0) + le32(0)
    assert len(out) == HISTORY_ENTRY
    return out


def settings_files():
    img = bytearray(SETTINGS_SIZE)
    put(img, 4, le32(1))  # rename after update
    put(img, HISTORY_OFFSET, history_entry(CP932_TITLE, CP932_ARTIST, CP932_ALBUM, b"1999", CP932_COMMENT, 13))
    # A history entry whose slots have no terminator, the title ending in a lead byte.
    put(img, HISTORY_OFFSET + HISTORY_ENTRY,
        history_entry(b"T" * 33 + b"\x83", b"A" * 34, b"\x82\xa0" * 17, b"19991231", b"C" * 34, 255))
    put(img, SLOTS["winamp_path"][0], b"c:\\program files\\winamp\\winamp.exe\x00")
    put(img, SLOTS["display_name"][0], b"kessa\x00")
    put(img, SLOTS["mpman_path"][0], b"C:\\Program Files\\MPMan-F20\\Mpman.exe\x00")
    put(img, SLOTS["start_folder"][0], b"c:\\\x00")
    # Slots filled to the brim: plain bytes, and double-byte characters ending in a lone lead byte.
    off, width = SLOTS["spare_text2"]
    put(img, off, b"S" * width)
    off, width = SLOTS["jpeg_program"]
    put(img, off, b"\x83\x65" * (width // 2 - 1) + b"x\x83")
    put(img, 45948, le32(1))  # rmp enabled
    put(img, 45960, le32(0xFFFFFFFF))
    files = {"settings_full.dat": bytes(img)}
    files["settings_head.dat"] = bytes(img[:400])
    files["settings_cut_in_int.dat"] = bytes(img[:HISTORY_OFFSET + 2])
    files["settings_cut_in_slot.dat"] = bytes(img[:HISTORY_OFFSET + 4 + 20])
    files["settings_history_unterminated.dat"] = bytes(img[:HISTORY_OFFSET + 2 * HISTORY_ENTRY])
    files["settings_all_ff.dat"] = b"\xff" * 1000
    files["settings_empty.dat"] = b""
    return files


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(HERE, "corpus")
    rmp_set = rmp_files()
    mpeg_set = mpeg_files()
    sets = {
        "fuzz_rmp": {**rmp_set, **{k: mpeg_set[k] for k in ("mpeg_with_record.mp3", "mpeg_no_record.mp3",
                                                             "record_only.mp3", "short_127.mp3")}},
        "fuzz_id3v1": {**mpeg_set, **{k: rmp_set[k] for k in ("rmp_full.rmp", "rmp_no_list.rmp",
                                                              "rmp_truncated.rmp", "riff_wave_not_rmp.wav")}},
        "fuzz_settings": settings_files(),
        "fuzz_frames": {**stream_files(), **{k: rmp_set[k] for k in ("rmp_truncated.rmp", "rmp_data_oversized.rmp")}},
    }
    for target, files in sets.items():
        folder = os.path.join(root, target)
        os.makedirs(folder, exist_ok=True)
        for name, data in sorted(files.items()):
            with open(os.path.join(folder, name), "wb") as f:
                f.write(data)
        print(f"{folder}: {len(files)} files")


if __name__ == "__main__":
    main()
