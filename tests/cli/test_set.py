"""`set`: texts from the options and from `set --json`, written as the editor writes them."""
import json
import os
import struct
import subprocess
import tempfile

from cli_support import CliTest, chunk, f23, frames, id3v23, id3v2_size, record, rmp_image, syncsafe


class Set(CliTest):
    def test_short_texts_stay_id3_and_unset_options_keep_texts(self):
        audio = frames()
        name = self.make("s.mp3", audio + record(b"Old", b"Artist", b"Album", b"2001", b"c", 7, pad=b"\0"))
        self.expect(0, "set", "--title", "新しい", "--year", "1999", name)
        self.assertEqual(self.read(name), audio + record("新しい".encode("cp932"), b"Artist", b"Album",
                                                         b"1999", b"c", 7))
        # A track number after a zero in the comment's last two bytes stays through a set, and
        # show reports it.
        def with_track(rec):
            return rec[:125] + b"\0\x05" + rec[127:]
        name = self.make("t.mp3", audio + with_track(record(b"Old", comment=b"ten bytes!", pad=b"\0")))
        self.expect(0, "set", "--title", "New", name)
        self.assertEqual(self.read(name), audio + with_track(record(b"New", comment=b"ten bytes!")))
        _, [o], _ = self.show(name)
        self.assertEqual((o["comment"], o["id3"]["track"]), ("ten bytes!" + " " * 18, 5))
        self.assertIn("  track   : 5", self.run_cli("show", name)[1])
        # --track writes it, 0 removes it; a comment that fills the last two bytes leaves it no
        # room, and the file fails as it was.
        self.assertEqual(self.run_cli("set", "--track", "12", name)[0], 0)
        self.assertEqual(self.read(name)[-3:], b"\0\x0c\xff")
        self.assertEqual(self.run_cli("set", "--track", "0", "--comment", "c" * 29, name)[0], 0)
        self.assertEqual(self.read(name), audio + record(b"New", comment=b"c" * 29))
        _, err = self.expect(1, "set", "--track", "3", name)
        self.assertIn("t.mp3: the comment fills the record's last two bytes, which the track needs", err)
        self.assertEqual(self.read(name), audio + record(b"New", comment=b"c" * 29))
        self.assertEqual(self.run_cli("set", "--track", "256", name)[0], 2)

    def test_record_is_appended_to_a_file_without_one(self):
        audio = frames(5)
        name = self.make("n.mp3", audio)
        self.assertEqual(self.run_cli("set", "--artist", "A", "--genre", "17", name)[0], 0)
        self.assertEqual(self.read(name), audio + record(b"", b"A", genre=17))

    def test_long_title_converts_to_rmp(self):
        audio = frames()
        name = self.make("l.mp3", audio + record(b"Old"))
        title = "とても長い題名" * 3  # 42 bytes in cp932
        self.expect(0, "set", "--title", title, name)
        data = self.read(name)
        self.assertEqual(data[:4] + data[8:16], b"RIFFRMP3data")
        self.assertEqual(struct.unpack("<I", data[4:8])[0], len(data) - 8)
        self.assertEqual(data[20:20 + len(audio)], audio)
        self.assertEqual(data[-128:], record(title.encode("cp932")[:30]))
        _, [o], _ = self.show(name)
        self.assertEqual((o["form"], o["title"], o["info"]["ISFT"]), ("rmp", title, "kessa 0.29"))
        # A later apply with short texts keeps the RMP form and the software name.
        self.assertEqual(self.run_cli("set", "--title", "short", "--display-name", "other", name)[0], 0)
        _, [o], _ = self.show(name)
        self.assertEqual((o["form"], o["title"], o["info"]["ISFT"]), ("rmp", "short", "kessa 0.29"))
        # A file with an ID3v2 tag keeps its form: the long title goes whole into the tag, which
        # players read first, and cut into the record. --no-id3v2 converts as before, said, since
        # players of today no longer find the tag inside the RMP form.
        v2 = self.make("v2.mp3", id3v23(f23(b"TIT2", b"\x00v2!")) + audio)
        self.assertEqual(self.run_cli("set", "--title", title, v2), (0, "", ""))
        data = self.read(v2)
        self.assertEqual(data[id3v2_size(data):], audio + record(title.encode("cp932")[:30]))
        _, [o], _ = self.show(v2)
        self.assertEqual((o["form"], o["id3v2"]["title"], o["title"]), ("id3+v2.3", title, title[:15]))
        v2 = self.make("v2.mp3", id3v23(f23(b"TIT2", b"\x00v2!")) + audio)
        _, err = self.expect(0, "set", "--no-id3v2", "--title", title, v2)
        self.assertIn("v2.mp3: warning: the file's ID3v2 tag is inside the RMP form now", err)
        _, [o], _ = self.show(v2)
        self.assertEqual((o["form"], o["id3v2"]["title"]), ("rmp+v2.3", "v2!"))

    def test_display_name_and_no_rmp(self):
        a = self.make("a.mp3", frames(2))
        b = self.make("b.mp3", frames(2))
        self.assertEqual(self.run_cli("set", "--display-name", "ケッサ", "--comment", "c" * 31, a)[0], 0)
        _, [o], _ = self.show(a)
        self.assertEqual(o["info"]["ISFT"], "ケッサ 0.29")
        self.assertEqual(self.run_cli("set", "--no-rmp", "--title", "x" * 40, b)[0], 0)
        self.assertEqual(self.read(b), frames(2) + record(b"x" * 30))
        # The record holds the title's first 30 bytes; with long texts the whole title is a
        # change, and the file takes it in the RMP form.
        self.assertEqual(self.run_cli("set", "--title", "x" * 40, b)[0], 0)
        _, [o], _ = self.show(b)
        self.assertEqual((o["form"], o["title"]), ("rmp", "x" * 40))

    def test_cut_never_splits_a_double_byte_character(self):
        name = self.make("c.mp3", frames(1))
        title = "a" + "表" * 20  # 41 bytes; the 30-byte cut would split the 15th 表
        self.assertEqual(self.run_cli("set", "--no-rmp", "--title", title, name)[0], 0)
        self.assertEqual(self.read(name)[-125:-95], b"a" + "表".encode("cp932") * 14 + b" ")

    def test_usage_errors_write_nothing(self):
        name = self.make("u.mp3", frames(1) + record(b"keep"))
        before = self.read(name)
        for args in (["--genre", "256"], ["--genre", "x"], ["--title", "\U0001F3B5"], ["--title", "é"],
                     ["--bogus", "1"], ["--title"], ["--title", "あ" * 128]):
            self.assertIn("usage", self.expect(2, "set", *args, name)[1], args)
        self.assertEqual(self.run_cli("set", "--title", "x")[0], 2)
        self.assertEqual(self.run_cli("frobnicate", name)[0], 2)
        self.assertEqual(self.read(name), before)
        # Each command explains its options, with examples, and writes nothing.
        for command in ("show", "set", "rename", "export"):
            out, _ = self.expect(0, command, "--help", name)
            self.assertTrue(out.startswith("usage: tagzo-cli " + command), out)
            self.assertIn("  -r, --recursive", out)
        self.assertIn("--display-name NAME", self.run_cli("set", "--title", "new", "-h", name)[1])
        self.assertEqual(self.read(name), before)
        self.assertRegex(self.run_cli("--version")[1], r"^tagzo-cli \d+\.\d+\n$")

    def test_failures_are_named_and_the_rest_is_done(self):
        good = self.make("good.mp3", frames(1))
        text = self.make("notes.txt", b"not music at all")
        ro = self.make("ro.mp3", frames(1) + record(b"locked"))
        os.chmod(os.path.join(self.dir, ro), 0o444)
        archive = self.make("a.zip", b"PK\x03\x04rest")
        _, err = self.expect(1, "set", "--title", "T", "missing.mp3", text, ro, archive, good)
        for n in ("missing.mp3", "notes.txt", "ro.mp3"):
            self.assertIn(n, err)
        self.assertIn("a.zip: not an MP3 file (zip); nothing written", err)
        self.assertEqual(self.read(archive), b"PK\x03\x04rest")
        self.assertIn("missing.mp3: cannot open: ", err)
        self.assertIn("notes.txt: not an MP3 file (unknown); nothing written", err)
        self.assertIn("ro.mp3: the file is read-only; nothing written", err)
        self.assertEqual(self.read(text), b"not music at all")
        self.assertEqual(self.read(ro), frames(1) + record(b"locked"))
        self.assertEqual(self.read(good), frames(1) + record(b"T"))
        # Every command that writes refuses a read-only file alike, before it says any plan.
        tag = id3v23(f23(b"TIT2", b"\x00" + "星に願い".encode("cp932")))
        ro2 = self.make("ro2.mp3", tag + frames(1) + record(b"locked"))
        os.chmod(os.path.join(self.dir, ro2), 0o444)
        for args in (["export"], ["repair"], ["import"], ["repair", "--id3v2.4"]):
            self.assertEqual(self.run_cli(*args, ro2),
                             (1, "", "tagzo-cli: ro2.mp3: the file is read-only; nothing written\n"), args)
        self.assertEqual(self.read(ro2)[-128:], record(b"locked"))
        # Nothing to tag, or a tag that claims more than the file holds: refused, as the other
        # commands warn of it.
        empty = self.make("empty.mp3", b"")
        short = self.make("short.mp3", b"ID3\x03\x00\x00" + syncsafe(4000) + b"\x00" * 90)
        _, err = self.expect(1, "set", "--title", "T", empty, short)
        self.assertIn("empty.mp3: the file is empty: no MP3 stream to tag; nothing written", err)
        self.assertIn("short.mp3: ", err)
        self.assertEqual((self.read(empty), len(self.read(short))), (b"", 100))

    def test_unchanged_tag_writes_nothing(self):
        content = frames(1) + record(b"Same", pad=b"\0")
        name = self.make("same.mp3", content)
        self.assertEqual(self.run_cli("set", "--title", "SAME", name)[0], 0)
        self.assertEqual(self.read(name), content)
        # Nothing to write is nothing to refuse: a read-only file that already holds the tag is done.
        os.chmod(os.path.join(self.dir, name), 0o444)
        self.quiet("set", "--title", "same", name)
        self.assertEqual(self.read(name), content)

    def test_two_sets_at_once_both_land(self):
        # Each set reads the file, then rewrites the whole RMP form; without a lock held from
        # the read through the replace, the second writer puts back the field the first one
        # changed. Under Wine the lock is a mutex for the file's identity, and the replace
        # still goes through.
        long_title = "長い題名の曲" * 3
        for trial in range(20):
            name = self.make("both.mp3", frames(2000) + record(b"x"))
            self.assertEqual(self.run_cli("set", "--title", long_title, name)[0], 0)
            ended = self.cli.together([["set", f, f"{f[2:]} {trial}", name] for f in ("--artist", "--album")], self.dir)
            self.assertEqual([c for c, _ in ended], [0, 0], f"trial {trial}: {ended}")
            _, [o], _ = self.show(name)
            self.assertEqual((o["title"], o["artist"], o["album"]),
                             (long_title, f"artist {trial}", f"album {trial}"), f"trial {trial}")
        self.assertEqual(sorted(os.listdir(self.dir)), ["both.mp3"])
        # An export in place reads the file under the same lock: it never undoes the RMP form a
        # set has just written (it refuses that form in place), whichever of the two comes first.
        for trial in range(5 if self.cli.wine else 20):
            name = self.make("both.mp3", frames(2000) + record(b"x"))
            (set_code, set_err), (export_code, export_err) = self.cli.together(
                [["set", "--title", long_title, name], ["export", name]], self.dir)
            self.assertEqual(set_code, 0, f"trial {trial}: {set_err} {export_err}")
            self.assertTrue(export_code == 0 or "the file is in the RMP form" in export_err,
                            f"trial {trial}: {set_err} {export_err}")
            _, [o], _ = self.show(name)
            # An export that came first gave the file an ID3v2 tag, which the set's long title
            # then went into whole, instead of the RMP form.
            if o["form"] == "id3+v2.3":
                self.assertEqual(o["id3v2"]["title"], long_title, f"trial {trial}")
            else:
                self.assertEqual((o["form"][:3], o["title"]), ("rmp", long_title), f"trial {trial}")

    def json_files(self):
        """A collection of every form: Japanese ID3v1 with a genre, the RMP form with long
        texts, bytes that are no cp932 (shown as U+FFFD), no record at all, and a read-only
        RMP file (whose INFO texts the editor's own load passes over)."""
        subs = chunk(b"INAM", "長い題名".encode("cp932") * 9 + b"\0") + chunk(b"IART", b"Artist\0") + \
            chunk(b"IID3", record(b"short", b"Artist"))
        names = [self.make("j1.mp3", frames(2) + record("曲名".encode("cp932"), "歌手".encode("cp932"), b"Al",
                                                         b"1999", b"c", 17)),
                 self.make("j2.rmp", rmp_image(frames(2), subs)),
                 self.make("j3.mp3", frames(2) + record(b"A\x80B\xFD", b"x\x81")),
                 self.make("j4.mp3", frames(2)),
                 self.make("j5.rmp", rmp_image(frames(2), subs))]
        os.chmod(os.path.join(self.dir, "j5.rmp"), 0o444)
        return names

    def test_json_round_trip_keeps_every_file_and_applies_edits(self):
        names = self.json_files()
        out, _ = self.expect(0, "show", "--json", *names, out_encoding="utf-8")
        self.make("all.jsonl", out.encode("utf-8"))
        before = self.listing()
        self.quiet("set", "--json", "all.jsonl")
        self.assertEqual(self.listing(), before)
        # Through standard input, with CRLF line ends and a blank line.
        self.quiet("set", "--json", "-", input=out.replace("\n", "\r\n\r\n").encode("utf-8"))
        self.assertEqual(self.listing(), before)
        # A filter edits two lines: only those files change, and the U+FFFD file keeps its bytes.
        lines = [json.loads(line) for line in out.splitlines()]
        lines[0]["title"], lines[0]["genre"] = "新しい曲", 12
        lines[1]["comment"] = "コメント" * 10  # 80 bytes: the RMP form holds it
        lines[2]["artist"] = lines[2]["artist"]  # unchanged, U+FFFD included
        edited = "".join(json.dumps(o, ensure_ascii=False) + "\n" for o in lines).encode("utf-8")
        self.quiet("set", "--json", "-", input=edited)
        after = self.listing()
        self.assertEqual(sorted(n for n in before if after[n] != before[n]), ["j1.mp3", "j2.rmp"])
        self.assertEqual(after["j1.mp3"], frames(2) + record("新しい曲".encode("cp932"), "歌手".encode("cp932"), b"Al",
                                                             b"1999", b"c", 12))
        _, objs, _ = self.show("j2.rmp")
        self.assertEqual((objs[0]["comment"], objs[0]["title"]), ("コメント" * 10, "長い題名" * 9))
        if self.cli.wine:
            return
        # A name that is no UTF-8 (Shift-JIS from an old archive) goes through as its bytes.
        raw = "曲ソ.mp3".encode("cp932")
        with open(os.path.join(os.fsencode(self.dir), raw), "wb") as f:
            f.write(frames(2) + record(b"old"))
        code, [o], _ = self.show(os.fsdecode(raw))
        self.assertEqual((code, o["path_hex"]), (0, raw.hex()))
        o["title"] = "新"
        self.quiet("set", "--json", "-", input=(json.dumps(o) + "\n").encode("utf-8"))
        with open(os.path.join(os.fsencode(self.dir), raw), "rb") as f:
            self.assertEqual(f.read(), frames(2) + record("新".encode("cp932")))

    def test_json_bad_lines_are_named_and_the_rest_is_done(self):
        self.json_files()
        good = {"path": "j4.mp3", "title": "first"}
        lines = [json.dumps(good),
                 json.dumps({"path": "j1.mp3", "titel": "x"}),
                 json.dumps({"path": "j1.mp3", "title": "caf\u00e9"}),
                 json.dumps({"title": "no path"}),
                 json.dumps({"path": "missing.mp3", "title": "x"}),
                 '{"path": "j1.mp3", "title": "cut',
                 json.dumps({"path": "j1.mp3", "genre": 300}),
                 json.dumps({"path": "j1.mp3", "title": 5}),
                 '["j1.mp3"]',
                 '{"path": "j1.mp3", "title": "\\ud800"}',
                 json.dumps({"path": "j1.mp3", "title": "a", "title": "b"}).replace('"title": "b"', '"title": "b", "title": "c"'),
                 json.dumps({"path": "j3.mp3", "album": "二番目", "kind": "ignored", "id3": None, "info": {"x": 1}}),
                 json.dumps({"path": "j1.mp3\0j4.mp3", "title": "x"}),
                 json.dumps({"path": "j1.mp3", "title": "hidden\0x"}),
                 json.dumps({"path": ".", "title": "x"}),
                 json.dumps({"path": "j1.mp3", "k" * 100000: 1})]
        before = self.listing()
        # A byte order mark before the first line is no part of it.
        self.make("bad.jsonl", b"\xef\xbb\xbf" + ("\n".join(lines) + "\n").encode("utf-8"))
        _, err = self.expect(1, "set", "--json", "bad.jsonl")
        for n, what in ((2, "unknown key 'titel'"), (3, "'.' has no form in code page 932"), (4, "no path"),
                        (5, "missing.mp3"), (6, "no JSON"), (7, "genre takes a number"), (8, "title takes a string"),
                        (9, "not a JSON object"), (10, "unpaired surrogate"), (11, "given twice"),
                        (13, r"path holds a NUL character \(\\u0000\)"), (14, "title holds a NUL"),
                        (15, "is a folder; a line names a file; line not done"), (16, "unknown key 'k{40}\\.\\.\\.'")):
            # (stderr speaks the console's code page, which writes é as a plain e)
            self.assertRegex(err, rf"bad\.jsonl:{n}: .*{what}", n)
        self.assertNotRegex(err, r"bad\.jsonl:(1|12):")
        self.assertLess(len(err), 2000)
        after = self.listing()
        self.assertEqual(after["j1.mp3"], before["j1.mp3"])
        self.assertEqual(after["j4.mp3"], frames(2) + record(b"first"))
        _, objs, _ = self.show("j3.mp3")
        self.assertEqual((objs[0]["album"], objs[0]["title"]), ("二番目", "A\ufffdB\ufffd"))
        # The texts come from the lines alone; a missing input is a failure, not a hang.
        self.assertEqual(self.run_cli("set", "--json", "bad.jsonl", "--title", "x")[0], 2)
        self.assertEqual(self.run_cli("set", "--json", "bad.jsonl", "j1.mp3")[0], 2)
        self.assertEqual(self.run_cli("set", "--json")[0], 2)
        self.assertIn("none.jsonl: cannot read", self.expect(1, "set", "--json", "none.jsonl")[1])
        # A listing that did not all arrive must not pass for a whole one.
        cmd = self.cli.command("show", "--json", "j1.mp3", "j3.mp3")
        with open("/dev/full", "wb") as full, tempfile.TemporaryFile() as err:
            code = subprocess.run(cmd, cwd=self.dir, stdin=subprocess.DEVNULL, stdout=full, stderr=err).returncode
            err.seek(0)
            self.assertEqual(code, 1)
            self.assertIn("tagzo-cli: cannot write the output: ", err.read().decode(self.cli.encoding))

    def test_damaged_rmp_keeps_stream_and_gets_a_record(self):
        stream = frames(3)
        # The list claims far more than the file holds, and a sub-chunk runs past the end.
        body = b"RMP3" + chunk(b"data", stream) + b"LIST" + struct.pack("<I", 0x7FFFFFFF) + b"INFO" + \
            chunk(b"INAM", b"old\0") + b"IART" + struct.pack("<I", 999999) + b"xx"
        name = self.make("d.mp3", b"RIFF" + struct.pack("<I", 12345) + body)
        self.assertIn("warning", self.expect(0, "set", "--title", "new", name)[1])
        data = self.read(name)
        self.assertEqual(data[20:20 + len(stream)], stream)
        self.assertEqual(data[-128:], record(b"new"))
        self.assertEqual(struct.unpack("<I", data[4:8])[0], len(data) - 8)
