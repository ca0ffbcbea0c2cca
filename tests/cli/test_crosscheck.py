"""What tagzo-cli writes, read back by other people's tools."""
import json
import os
import resource
import shutil
import struct
import subprocess
import sys
import zlib

from cli_support import CliTest, chunk, f23, frames, from_exiftool, id3v23, id3v2_size, record, rmp_image, syncsafe, tool


class CrossCheck(CliTest):
    def test_converted_file_reads_the_same_in_exiftool_and_mediainfo(self):
        if not tool("exiftool") or not tool("mediainfo"):
            self.skipTest("exiftool or mediainfo missing")
        name = self.make("x.mp3", frames(20) + record(b"old"))
        title, artist = "長い長い長い長い長い長い題名です！", "Someone"  # 34 bytes
        self.assertEqual(self.run_cli("set", "--title", title, "--artist", artist, "--album", "Disc",
                                      "--year", "2024", "--comment", "note", name)[0], 0)
        shutil.copy(os.path.join(self.dir, name), os.path.join(self.dir, "x.rmp"))
        # The RIFF group, not the ID3v1 record that the file carries too.
        p = subprocess.run(["exiftool", "-j", "-RIFF:Title", "-RIFF:Artist", "-RIFF:Product",
                            "-RIFF:Comment", "-RIFF:DateCreated", "-RIFF:Software", os.path.join(self.dir, "x.rmp")],
                           capture_output=True, text=True)
        e = json.loads(p.stdout)[0]
        self.assertEqual(from_exiftool(e.get("Title")), title)
        for key, want in (("Artist", artist), ("Product", "Disc"), ("Comment", "note"), ("DateCreated", "2024"),
                          ("Software", "kessa 0.29")):
            self.assertEqual(str(e.get(key)), want, key)
        v = subprocess.run(["exiftool", "-validate", "-warning", "-a", os.path.join(self.dir, "x.rmp")],
                           capture_output=True, text=True)
        self.assertNotIn("Warning", v.stdout, v.stdout)
        m = subprocess.run(["mediainfo", "--Output=JSON", os.path.join(self.dir, name)],
                           capture_output=True, text=True)
        general = json.loads(m.stdout)["media"]["track"][0]
        self.assertEqual(general.get("Format"), "RMP3")

    def test_tags_written_by_other_tools_show_the_same(self):
        rows = []
        if tool("id3tool"):
            rows.append(["id3tool", "-t", "Tool title", "-a", "Tool album", "-r", "Tool artist", "-y", "1998",
                         "-n", "Tool comment"])
        if tool("id3v2"):
            rows.append(["id3v2", "-1", "-t", "Tool title", "-A", "Tool album", "-a", "Tool artist", "-y", "1998",
                         "-c", "Tool comment"])
        if not rows:
            self.skipTest("neither id3tool nor id3v2")
        for cmd in rows:
            name = self.make(cmd[0] + ".mp3", frames(4))
            subprocess.run(cmd + [os.path.join(self.dir, name)], check=True, capture_output=True)
            _, [o], _ = self.show(name)
            self.assertEqual((o["title"], o["artist"], o["album"], o["year"], o["comment"]),
                             ("Tool title", "Tool artist", "Tool album", "1998", "Tool comment"), cmd[0])

    def python3(self, code, *args, as_json=True):
        """What the system's python3 prints running `code` with `args`, read as JSON unless
        `as_json` is false; the test is skipped where python3 cannot import a module it needs."""
        p = subprocess.run(["/usr/bin/python3", "-c", code, *args], capture_output=True, text=True)
        if p.returncode != 0 and "No module named" in p.stderr:
            self.skipTest("a module is not importable by /usr/bin/python3: " + p.stderr.strip().splitlines()[-1])
        self.assertEqual(p.returncode, 0, p.stderr)
        return json.loads(p.stdout) if as_json else p.stdout

    def read_back(self, name):
        """The texts of a file's ID3v2 tag as mutagen, eyeD3, kid3-cli and mediainfo read them, each
        as (title, artist, album, year, comment, genre), with its pictures and lyrics."""
        path = os.path.join(self.dir, name)
        got = self.python3(READ_BACK, path)
        fields = ["title", "artist", "album", "date", "comment", "genre"]
        k = subprocess.run(["kid3-cli"] + [a for f in fields for a in ("-c", f"get {f} 2")] + [path],
                           capture_output=True, text=True)
        got["kid3"] = k.stdout.split("\n")[:6]
        m = subprocess.run(["mediainfo", "--Output=JSON", path], capture_output=True, text=True)
        g = json.loads(m.stdout)["media"]["track"][0]
        got["mediainfo"] = [g.get(f, "") for f in ("Title", "Performer", "Album", "Recorded_Date", "Comment", "Genre")]
        x = subprocess.run(["exiftool", "-j", "-Title", "-Artist", "-Album", "-Comment-jpn", path],
                           capture_output=True, text=True)
        e = json.loads(x.stdout)[0] if x.returncode == 0 else {}
        got["exiftool"] = [str(e.get(f, "")) for f in ("Title", "Artist", "Album", "Comment-jpn")]
        return got

    def decoded(self, name):
        out = os.path.join(self.dir, "decoded.wav")
        p = subprocess.run(["mpg123", "-q", "-w", out, os.path.join(self.dir, name)], capture_output=True)
        self.assertEqual(p.returncode, 0, p.stderr)
        with open(out, "rb") as f:
            return f.read()

    def test_export_gives_unicode_that_every_reader_takes(self):
        missing = [t for t in ("kid3-cli", "mediainfo", "mpg123", "exiftool") if not tool(t)]
        if missing or subprocess.run(["/usr/bin/python3", "-c", "import eyed3, mutagen"]).returncode != 0:
            self.skipTest(f"missing: {missing or 'eyed3 or mutagen for /usr/bin/python3'}")
        # An ID3v1 file in Japanese, in both versions, next to the original.
        v1 = frames(40) + record("空手バカ一代".encode("cp932"), "地獄車".encode("cp932"), "アルバム".encode("cp932"),
                                 b"1999", "コメント".encode("cp932"), 17)
        self.make("id3.mp3", v1)
        want = ["空手バカ一代", "地獄車", "アルバム", "1999", "コメント", "Rock"]
        for option, version in (("--id3v2.3", [2, 3, 0]), ("--id3v2.4", [2, 4, 0])):
            self.quiet("export", option, "--out", "out" + option[-1], "id3.mp3")
            name = "out" + option[-1] + "/id3.mp3"
            got = self.read_back(name)
            self.assertEqual(got["version"], version)
            for reader in ("mutagen", "eyed3", "kid3", "mediainfo"):
                self.assertEqual(got[reader], want, reader + option)
            self.assertEqual(got["exiftool"], want[:3] + want[4:5], option)
            data = self.read(name)
            self.assertEqual(data[id3v2_size(data):], v1)  # the audio and the record, byte for byte
            self.assertEqual(self.decoded(name), self.decoded("id3.mp3"))
        self.assertEqual(self.read("id3.mp3"), v1)

        # The RMP form with 100-byte texts becomes a plain MP3 with its long texts: only with --out.
        stream = frames(30)
        title, artist = "長い題名" * 12 + "終わり", "ア" * 50  # 100 bytes each in cp932
        subs = chunk(b"INAM", title.encode("cp932") + b"\0") + chunk(b"IART", artist.encode("cp932") + b"\0") + \
            chunk(b"IPRD", b"Disc\0") + chunk(b"ICRD", b"2024\0") + chunk(b"IGNR", "演歌".encode("cp932") + b"\0") + \
            chunk(b"IID3", record(title.encode("cp932")[:30], artist.encode("cp932")[:30]))
        rmp = self.make("long.rmp", rmp_image(stream, subs))
        before = self.read(rmp)
        self.assertIn("long.rmp: the file is in the RMP form", self.expect(1, "export", rmp)[1])
        self.assertEqual(self.read(rmp), before)
        self.quiet("export", "--out", "plain", rmp)
        data = self.read("plain/long.mp3")
        self.assertEqual(data[id3v2_size(data):], stream + record(title.encode("cp932")[:30], artist.encode("cp932")[:30]))
        got = self.read_back("plain/long.mp3")
        for reader in ("mutagen", "eyed3", "kid3", "mediainfo"):
            self.assertEqual(got[reader][:4], [title, artist, "Disc", "2024"], reader)
        self.assertEqual(got["exiftool"][:3], [title, artist, "Disc"])
        self.assertEqual(got["mutagen"][5], "演歌")
        self.assertEqual(self.read(rmp), before)
        # An --out that names the file's own place is no --out.
        self.make("long-rmp.mp3", before)
        self.assertIn("long-rmp.mp3: the file is in the RMP form",
                      self.expect(1, "export", "--out", ".", "long-rmp.mp3")[1])
        self.assertEqual(self.read("long-rmp.mp3"), before)

        # Tags of 2.3 (a picture and lyrics) and 2.2 (PIC, its picture) are replaced in place,
        # their pictures and lyrics kept, the audio after them left as it was.
        png = bytes.fromhex("89504e470d0a1a0a") + bytes(range(256)) + b"\xff\x00\xff"
        apic = b"\x00image/png\x00\x03cover\x00" + png
        uslt = b"\x01jpn\xff\xfe\x00\x00" + "歌詞です".encode("utf-16-le")
        old23 = f23(b"TIT2", b"\x00old!") + f23(b"APIC", apic) + f23(b"USLT", uslt) + bytes(64)
        pic = b"\x00PNG\x03cover\x00" + png
        old22 = b"TT2" + struct.pack(">I", 5)[1:] + b"\x00old!" + b"PIC" + struct.pack(">I", len(pic))[1:] + pic
        audio = frames(20) + record("題".encode("cp932"), "歌手".encode("cp932"))
        for name, major, body in (("v23.mp3", 3, old23), ("v22.mp3", 2, old22)):
            self.make(name, b"ID3" + bytes([major, 0, 0]) + syncsafe(len(body)) + body + audio)
        _, [o], _ = self.show("v23.mp3")
        self.assertEqual((o["form"], o["id3v2"]["version"], o["id3v2"]["title"], o["id3v2"]["other_frames"]),
                         ("id3+v2.3", "2.3", "old!", 2))
        # The tag's own title differs from the record's: it stays, and is named, unless --overwrite.
        _, err = self.expect(0, "export", "--id3v2.4", "v23.mp3")
        self.assertIn(self.shown("v23.mp3: the ID3v2 title 'old!' differs from the record's '題' and is kept"), err)
        self.quiet("export", "--overwrite", "v22.mp3")
        for name, version, lyrics, title in (("v23.mp3", [2, 4, 0], [["歌詞です"]], "old!"),
                                             ("v22.mp3", [2, 3, 0], [], "題")):
            data = self.read(name)
            self.assertEqual(data[id3v2_size(data):], audio, name)
            got = self.read_back(name)
            self.assertEqual(got["version"], version)
            self.assertEqual(got["mutagen"][:2], [title, "歌手"], name)
            self.assertEqual((got["pictures"], got["eyed3_pictures"]), ([png.hex()], [png.hex()]), name)
            self.assertEqual([[t] for t in got["lyrics"]], lyrics, name)

        # A collection's tag of today: every frame export does not write goes over byte for byte
        # in the tag's own version (2.3 here), a title marked Latin-1 that holds cp932 is written
        # in Unicode, an artist that differs from the record's stays (in Unicode too).
        carried = f23(b"TRCK", b"\x003/12") + f23(b"TPOS", b"\x001/2") + \
            f23(b"TXXX", b"\x00replaygain_track_gain\x00-6.00 dB") + f23(b"UFID", b"http://mb\x00id-1") + \
            f23(b"PRIV", b"owner\x00\x01\x02") + f23(b"POPM", b"a@b\x00\xc8\x00\x00\x00\x05") + \
            f23(b"COMM", b"\x00engdesc\x00other comment") + f23(b"TXXX", struct.pack(">I", 6) + zlib.compress(b"\x00zip\x00x"), 0x0080) + \
            f23(b"GEOB", b"\x00app/x\x00f.bin\x00d\x00\x00\x01")
        tagged = f23(b"TIT2", b"\x00" + "星に願いを".encode("cp932")) + f23(b"TPE1", b"\x00" + "別の歌手".encode("cp932")) + \
            carried
        today = frames(20) + record("星に願いを".encode("cp932"), "星野ひかり".encode("cp932"))
        self.make("today.mp3", id3v23(tagged, padding=32) + today)
        _, [o], _ = self.show("today.mp3")
        self.assertEqual((o["id3v2"]["title"], o["id3v2"]["track"], o["id3v2"]["mis_marked"]),
                         ("星に願いを", "3/12", ["title", "artist"]))
        before = self.mutagen_frames("today.mp3")
        _, err = self.expect(0, "export", "today.mp3")
        self.assertEqual(err.count("\n"), 1, err)
        self.assertIn(self.shown("today.mp3: the ID3v2 artist '別の歌手' differs from the record's '星野ひかり'"), err)
        data = self.read("today.mp3")
        self.assertTrue(carried in data[:id3v2_size(data)])
        self.assertEqual(data[id3v2_size(data):], today)
        after = self.mutagen_frames("today.mp3")
        self.assertEqual(after["version"], [2, 3, 0])
        self.assertEqual((after["TIT2"], after["TPE1"]), (["星に願いを"], ["別の歌手"]))
        self.assertEqual({k: v for k, v in after.items() if k not in ("TIT2", "TPE1", "COMM::jpn")},
                         {k: v for k, v in before.items() if k not in ("TIT2", "TPE1")})
        # A frame 2.4 has no place for fails the file, named; a file with only an ID3v2 tag (or
        # none) has nothing to export and is left as it is.
        self.make("tyer.mp3", id3v23(carried) + today)
        self.make("v2only.mp3", id3v23(tagged) + frames(20))
        self.make("bare.mp3", frames(20))
        was = {n: self.read(n) for n in ("tyer.mp3", "v2only.mp3", "bare.mp3")}
        was_bare = was["bare.mp3"]
        _, err = self.expect(1, "export", "--id3v2.4", "tyer.mp3", "v2only.mp3", "bare.mp3")
        self.assertIn("tyer.mp3: its TXXX frame cannot be carried into ID3v2.4; nothing written", err)
        for n in ("v2only.mp3", "bare.mp3"):
            self.assertIn(n + ": neither an ID3v1 record nor the RMP form to export; the file is left as it is", err)
        self.assertEqual({n: self.read(n) for n in was}, was)

        # repair writes again in Unicode the texts marked Latin-1 that hold cp932, and nothing
        # else: French, German and Spanish stay, as do the other frames, byte for byte.
        western = f23(b"TPE1", b"\x00" + "Mädchen".encode("latin-1")) + \
            f23(b"TALB", b"\x00" + "élégie".encode("latin-1")) + f23(b"TCON", b"\x00" + "Canción".encode("latin-1"))
        mixed = f23(b"TIT2", b"\x00" + "星に願いを".encode("cp932")) + western + f23(b"TYER", b"\x001999") + \
            f23(b"COMM", b"\x00jpn\x00" + "コメント".encode("cp932")) + carried
        self.make("mis.mp3", id3v23(mixed) + today)
        was = self.read("mis.mp3")
        code, out, err = self.run_cli("repair", "--dry-run", "mis.mp3")
        self.assertEqual((code, err, self.read("mis.mp3")), (0, "", was))
        self.assertEqual([line.split(" -> ")[0][:14] for line in out.splitlines()], ["mis.mp3: TIT2 ", "mis.mp3: COMM "])
        self.assertTrue(out.splitlines()[0].endswith(" -> " + self.shown("星に願いを")), out)
        code, out2, err = self.run_cli("repair", "mis.mp3")
        self.assertEqual((code, err, out2), (0, "", out))
        data = self.read("mis.mp3")
        self.assertEqual(data[id3v2_size(data):], today)
        comm = f23(b"COMM", b"\x01jpn\xff\xfe\x00\x00\xff\xfe" + "コメント".encode("utf-16-le"))
        self.assertTrue(western + f23(b"TYER", b"\x001999") + comm + carried in data)
        got = self.read_back("mis.mp3")
        for reader in ("mutagen", "eyed3", "kid3", "mediainfo"):
            self.assertEqual(got[reader], ["星に願いを", "Mädchen", "élégie", "1999", "コメント", "Canción"], reader)
        self.assertEqual(got["exiftool"], ["星に願いを", "Mädchen", "élégie", "コメント"])
        # Mended, a tag has nothing left to repair, and a file without a tag is no failure.
        self.assertEqual(self.run_cli("repair", "mis.mp3", "bare.mp3"), (0, "", ""))
        self.assertEqual((self.read("mis.mp3"), self.read("bare.mp3")), (data, was_bare))
        # A version asked for is a conversion, named, a dry run too; the version it has already
        # is no conversion. Half-width katakana marked Latin-1 (ﾗｽﾄｿﾝｸﾞ, read as ×½Ä¿Ý¸Þ) is found.
        self.assertEqual(self.run_cli("repair", "--id3v2.3", "mis.mp3"), (0, "", ""))
        self.assertEqual(self.read("mis.mp3"), data)
        kana = f23(b"TIT2", b"\x00" + "ﾗｽﾄｿﾝｸﾞ".encode("cp932"))
        self.make("kana.mp3", id3v23(kana) + today)
        code, out, err = self.run_cli("repair", "kana.mp3")
        self.assertEqual((code, err, out), (0, "", self.shown("kana.mp3: TIT2 ×½Ä¿Ý¸Þ -> ﾗｽﾄｿﾝｸﾞ\n")))
        mended = self.read("kana.mp3")
        self.assertEqual(self.run_cli("repair", "--dry-run", "--id3v2.4", "kana.mp3"),
                         (0, "kana.mp3: ID3v2.3 -> ID3v2.4\n", ""))
        self.assertEqual(self.read("kana.mp3"), mended)
        # A 2.4 tag with its footer at the end of the file, before the record: mended and exported
        # in its place, never leaving a second tag at the front.
        tail = f23(b"TIT2", b"\x00" + "星に願いを".encode("cp932"))
        end_tag = b"ID3\x04\x00\x10" + syncsafe(len(tail)) + tail + b"3DI\x04\x00\x10" + syncsafe(len(tail))
        self.make("tail.mp3", frames(20) + end_tag + record(b"old"))
        code, out, err = self.run_cli("repair", "tail.mp3")
        self.assertEqual((code, err, out.split(" -> ")[-1]), (0, "", self.shown("星に願いを\n")))
        for title in ("星に願いを", "old"):
            data = self.read("tail.mp3")
            self.assertTrue(data.startswith(frames(20)) and data.endswith(record(b"old")), title)
            self.assertEqual((data.count(b"ID3\x04"), data.count(b"3DI\x04"), data.count(b"ID3\x03")), (1, 1, 0), title)
            _, [o], _ = self.show("tail.mp3")
            self.assertEqual((o["form"], o["id3v2"]["title"]), ("id3+v2.4", title))
            self.assertEqual(self.run_cli("export", "--overwrite", "tail.mp3")[0], 0)
        # A tag that claims more than the file holds is warned of once.
        self.make("cut.mp3", b"ID3\x03\x00\x00" + syncsafe(4000) + bytes(90))
        code, _, err = self.run_cli("repair", "-r", ".")
        self.assertEqual(err.count("cut.mp3"), 1, err)
        # A file given twice, and under a second name, is mended each time: the batch never waits
        # on its own hold of a file it has yet to replace.
        self.make("twice.mp3", b"ID3\x03\x00\x00" + syncsafe(len(mixed)) + mixed + today)
        os.link(os.path.join(self.dir, "twice.mp3"), os.path.join(self.dir, "again.mp3"))
        self.assertEqual(self.run_cli("repair", "twice.mp3", "twice.mp3", "again.mp3")[::2], (0, ""))
        self.assertEqual(self.read("twice.mp3"), self.read("again.mp3"))
        self.assertEqual(self.run_cli("repair", "--dry-run", "twice.mp3", "again.mp3"), (0, "", ""))
        # So is a conversion of set, which the batch replaces later.
        self.make("conv.mp3", frames(20))
        os.link(os.path.join(self.dir, "conv.mp3"), os.path.join(self.dir, "conv2.mp3"))
        self.assertEqual(self.run_cli("set", "--title", "長" * 20, "conv.mp3", "conv.mp3", "conv2.mp3")[::2], (0, ""))
        self.assertEqual([(o["form"], o["title"]) for o in self.show("conv.mp3", "conv2.mp3")[1]],
                         [("rmp", "長" * 20)] * 2)
        # A process that may open few files writes smaller groups: every file is still mended.
        if not self.cli.wine:
            os.mkdir(os.path.join(self.dir, "few"))
            for i in range(150):
                self.make(f"few/{i}.mp3", b"ID3\x03\x00\x00" + syncsafe(len(mixed)) + mixed + today)
            few = subprocess.run([self.cli.exe, "repair", "-r", "few"], cwd=self.dir, capture_output=True,
                                 preexec_fn=lambda: resource.setrlimit(resource.RLIMIT_NOFILE, (80, 80)))
            self.assertEqual((few.returncode, few.stderr), (0, b""))
            self.assertEqual({self.read(f"few/{i}.mp3") for i in range(150)}, {self.read("twice.mp3")})
            # And set's conversions of as many files.
            os.mkdir(os.path.join(self.dir, "few-rmp"))
            for i in range(150):
                self.make(f"few-rmp/{i}.mp3", frames(20))
            few = subprocess.run([self.cli.exe, "set", "-r", "--title", "長" * 20, "few-rmp"], cwd=self.dir,
                                 capture_output=True,
                                 preexec_fn=lambda: resource.setrlimit(resource.RLIMIT_NOFILE, (80, 80)))
            self.assertEqual((few.returncode, few.stderr), (0, b""))
            self.assertEqual({(o["form"], o["title"]) for o in self.show("-r", "few-rmp")[1]}, {("rmp", "長" * 20)})
            self.assertEqual(len(os.listdir(os.path.join(self.dir, "few-rmp"))), 150)

        # import writes the record from the tag, for the players that read only ID3v1: cp932 texts
        # cut at 30 bytes on a character's boundary, the track in the comment's last two bytes, a
        # WAVE DASH as the FULLWIDTH TILDE that code page 932 has; the tag stays as it was.
        long_title = "夢〜歌" + "長" * 20
        wave = f23(b"TIT2", b"\x01" + long_title.encode("utf-16")) + f23(b"TPE1", b"\x00" + "別の歌手".encode("cp932")) + \
            f23(b"TRCK", b"\x003/12") + f23(b"TCON", b"\x00(17)")
        head = id3v23(wave)
        self.make("wave.mp3", head + frames(20))
        self.make("wave-rmp.mp3", head + frames(20))
        code, out, err = self.run_cli("import", "--dry-run", "wave.mp3")
        self.assertEqual((code, err, self.read("wave.mp3")), (0, "", head + frames(20)))
        self.assertIn("wave.mp3: track 0 -> 3", out)
        self.assertEqual(self.run_cli("import", "wave.mp3", "bare.mp3"),
                         (0, out, "tagzo-cli: bare.mp3: no ID3v2 tag to import; the file is left as it is\n"))
        want = record("夢～歌".encode("cp932") + "長".encode("cp932") * 12, "別の歌手".encode("cp932"), genre=17)
        self.assertEqual(self.read("wave.mp3"), head + frames(20) + want[:125] + b"\0\x03" + want[127:])
        if tool("id3tool"):
            p = subprocess.run(["id3tool", os.path.join(self.dir, "wave.mp3")], capture_output=True)
            self.assertIn("Song Title:\t" + "夢～歌" + "長" * 12, p.stdout.decode("cp932"))
        # With --rmp a longer text takes the RMP form whole, with a warning for the tag inside it.
        self.assertIn("wave-rmp.mp3: warning: the file's ID3v2 tag is inside the RMP form now",
                      self.expect(0, "import", "--rmp", "wave-rmp.mp3")[1])
        _, [o], _ = self.show("wave-rmp.mp3")
        self.assertEqual((o["form"], o["title"], o["id3"]["track"]), ("rmp+v2.3", "夢～歌" + "長" * 20, 3))

        # repair, export in place and import keep what they replace in a journal, and undo puts
        # the file back byte for byte.
        self.make("jx.mp3", head + frames(20) + record(b"old", b"old"))
        was = self.read("jx.mp3")
        for args in (["repair"], ["export", "--overwrite"], ["import"]):
            self.expect(0, *args, "--journal", "j2.log", "jx.mp3")
        self.assertNotEqual(self.read("jx.mp3"), was)
        self.assertEqual(self.run_cli("undo", "j2.log")[:2], (0, "jx.mp3: put back\n" * 3))
        self.assertEqual(self.read("jx.mp3"), was)

    def mutagen_frames(self, name):
        """mutagen's frames of a file's ID3v2 tag, by key, each as its texts or its raw bytes."""
        code = ("import json, sys, mutagen.id3 as i\n"
                "t = i.ID3(sys.argv[1])\n"
                "d = {k: [str(x) for x in f.text] if hasattr(f, 'text') and not isinstance(f, i.POPM) "
                "else f._writeData().hex() for k, f in t.items()}\n"
                "d['version'] = list(t.version)\n"
                "print(json.dumps(d))\n")
        return self.python3(code, os.path.join(self.dir, name))

    def test_set_reaches_the_id3v2_tag_that_players_read(self):
        # Tags made by mutagen (2.3 in UTF-16, 2.4 in UTF-8) with a picture and a TXXX: a set
        # changes the title there too, every other frame as it was, and what an ffmpeg-based
        # player shows is the new title; a long one stays whole and the file a plain MP3.
        if not os.path.exists("/usr/lib/python3/dist-packages/mutagen"):
            self.skipTest("python3-mutagen missing")
        make = ("import sys, mutagen.id3 as i\n"
                "t = i.ID3()\n"
                "t.add(i.TIT2(encoding=1, text='星に願いを')); t.add(i.TPE1(encoding=1, text='歌手'))\n"
                "t.add(i.APIC(encoding=0, mime='image/png', type=3, desc='', data=bytes(range(256)) * 4))\n"
                "t.add(i.TXXX(encoding=1, desc='MOOD', text='静か')); t.add(i.TCON(encoding=0, text='Rock'))\n"
                "t.save(sys.argv[1], v1=0, v2_version=int(sys.argv[2]))\n")
        frames_of = ("import sys, json, mutagen.id3 as i\n"
                     "t = i.ID3(sys.argv[1])\n"
                     "print(json.dumps({'version': t.version[1], "
                     "'frames': {k: repr(v) for k, v in t.items() if k != 'TIT2'}, 'title': str(t['TIT2'])}))\n")
        def mutagen(name):
            return self.python3(frames_of, os.path.join(self.dir, name))
        def ffprobe(name):
            p = subprocess.run(["ffprobe", "-v", "error", "-show_entries", "format_tags=title", "-of", "json",
                                os.path.join(self.dir, name)], capture_output=True, text=True)
            self.assertEqual(p.returncode, 0, p.stderr)
            return json.loads(p.stdout)["format"]["tags"]["title"]
        long_title = "流れ星に願いを込めて夜空を見上げた二人の長い長い物語"
        for version in (3, 4):
            name = self.make(f"v{version}.mp3", frames(8))
            self.python3(make, os.path.join(self.dir, name), str(version), as_json=False)
            before = mutagen(name)
            self.assertEqual(self.run_cli("set", "--title", "流れ星", name), (0, "", ""))
            after = mutagen(name)
            self.assertEqual((after["title"], after["version"], after["frames"]), ("流れ星", version, before["frames"]))
            # The record, new to the file, holds what the fields showed: the tag's texts.
            self.assertEqual(self.read(name)[-128:], record("流れ星".encode("cp932"), "歌手".encode("cp932")))
            if tool("ffprobe"):
                self.assertEqual(ffprobe(name), "流れ星")
            _, [o], _ = self.show(name)
            self.assertEqual((o["title"], o["id3v2"]["title"]), ("流れ星", "流れ星"))
            self.assertEqual(self.run_cli("set", "--title", long_title, name), (0, "", ""))
            after = mutagen(name)
            self.assertEqual((after["title"], after["frames"]), (long_title, before["frames"]))
            self.assertEqual(self.read(name)[:3], b"ID3")
            if tool("ffprobe"):
                self.assertEqual(ffprobe(name), long_title)

    def test_what_we_write_reads_the_same_in_mutagen(self):
        if not os.path.exists("/usr/lib/python3/dist-packages/mutagen"):
            self.skipTest("python3-mutagen missing")
        name = self.make("m.mp3", frames(4))
        self.assertEqual(self.run_cli("set", "--title", "Mutagen title", "--artist", "Art", "--album", "Alb",
                                      "--year", "2011", "--genre", "17", name)[0], 0)
        code = ("import sys, mutagen.id3 as i\n"
                "d = open(sys.argv[1], 'rb').read()[-128:]\n"
                "f = i.ParseID3v1(d)\n"
                "print(f['TIT2'].text[0], f['TPE1'].text[0], f['TALB'].text[0], f['TDRC'].text[0], "
                "f['TCON'].text[0], sep='|')\n")
        self.assertIn(self.python3(code, os.path.join(self.dir, name), as_json=False).strip(),
                      ("Mutagen title|Art|Alb|2011|17", "Mutagen title|Art|Alb|2011|Rock"))


READ_BACK = r"""
import json, sys
import eyed3, mutagen.id3
eyed3.log.setLevel("ERROR")
p = sys.argv[1]
t = mutagen.id3.ID3(p)
comm = [str(f) for f in t.getall("COMM") if f.lang == "jpn"]
m = [str(t.get("TIT2", "")), str(t.get("TPE1", "")), str(t.get("TALB", "")), str(t.get("TDRC", "")),
     comm[0] if comm else "", t["TCON"].genres[0] if "TCON" in t else ""]
e = eyed3.load(p).tag
ec = [c.text for c in e.comments if c.lang == b"jpn"]
y = [e.title or "", e.artist or "", e.album or "", str(e.getBestDate() or ""), ec[0] if ec else "",
     e.genre.name if e.genre else ""]
print(json.dumps({"version": list(t.version), "mutagen": m, "eyed3": y,
                  "pictures": [f.data.hex() for f in t.getall("APIC")], "eyed3_pictures": [i.image_data.hex() for i in e.images],
                  "lyrics": [f.text for f in t.getall("USLT")]}))
"""
