"""`show`: kinds, forms and texts, as lines and as JSON."""
import os

from cli_support import CliTest, chunk, frames, record, rmp_image


class Show(CliTest):
    def test_id3_file_in_japanese(self):
        name = self.make("曲.mp3", frames() + record("タイトル表".encode("cp932"), "理多".encode("cp932"),
                                                     b"Album", b"99", b"note", 12))
        code, [o], err = self.show(name)
        self.assertEqual(code, 0, err)
        self.assertEqual(o["path"], name)
        self.assertEqual((o["kind"], o["form"]), ("mp3", "id3"))
        self.assertEqual((o["title"], o["artist"], o["album"], o["year"], o["comment"], o["genre"]),
                         ("タイトル表", "理多", "Album", "99  ", "note", 12))
        self.assertEqual(o["id3"]["title"], "タイトル表" + " " * 20)  # as read, before the load rules
        self.assertIsNone(o["id3"]["track"])
        for key in ("info", "id3v2", "error"):
            self.assertIsNone(o[key], key)
        self.assertEqual(set(o), {"path", "kind", "form", "title", "artist", "album", "year", "comment",
                                  "genre", "id3", "id3v2", "info", "error"})

    def test_rmp_file_shows_its_long_texts(self):
        subs = chunk(b"INAM", "長い題名".encode("cp932") * 5 + b"\0") + chunk(b"ICOP", b"(c) me\0") + \
            chunk(b"IID3", record(b"short"))
        name = self.make("r.rmp", rmp_image(frames(3), subs))
        code, [o], _ = self.show(name)
        self.assertEqual((code, o["form"], o["title"]), (0, "rmp", "長い題名" * 5))
        self.assertEqual(o["id3"]["title"], "short" + " " * 25)
        self.assertEqual(o["info"]["ICOP"], "(c) me")
        self.assertEqual(list(o["info"]), ["INAM", "IART", "IPRD", "ICMT", "ICRD", "IGNR", "ICOP", "IENG",
                                           "ISRC", "ISFT"])

    def test_kinds_forms_and_errors(self):
        names = [self.make("none.mp3", frames(2)), self.make("a.zip", b"PK\x03\x04rest"),
                 self.make("a.lzh", b"\x20\x00-lh5-xx"), self.make("p.jpg", b"\xFF\xD8\xFF\xE0\x00\x10JFIF"),
                 self.make("t.txt", b"just text"), self.make("ab", b"ab"), "missing.mp3"]
        code, objs, err = self.show(*names)
        self.assertEqual(code, 1)  # the missing file failed; the others were shown
        got = [(o["kind"], o["form"]) for o in objs]
        self.assertEqual(got, [("mp3", "none"), ("zip", "none"), ("lzh", "none"), ("jpeg", "none"),
                               ("unknown", "none"), ("unknown", "none"), ("unknown", "none")])
        self.assertEqual(objs[0]["genre"], 255)
        self.assertIsNone(objs[0]["id3"])
        self.assertIsNotNone(objs[-1]["error"])
        self.assertIn("missing.mp3", err)
        if not self.cli.wine:
            # A FIFO is refused at once, not waited on for a writer (Wine's own server would
            # hang on one; there the file layer's tests refuse the devices NUL and CON).
            os.mkfifo(os.path.join(self.dir, "f.mp3"))
            for command in (["show", "f.mp3"], ["set", "--title", "x", "f.mp3"]):
                code, _, err = self.run_cli(*command)
                self.assertEqual(code, 1, command)
                self.assertIn("f.mp3: cannot open: not a regular file", err)

    def test_bytes_that_are_no_cp932_show_as_replacement(self):
        name = self.make("bad.mp3", frames(1) + record(b"A\x80B\x81"))
        code, [o], _ = self.show(name)
        self.assertEqual((code, o["title"]), (0, "A\ufffdB\ufffd"))

    def test_text_output(self):
        name = self.make("t.mp3", frames(1) + record("理多".encode("cp932")))
        out, _ = self.expect(0, "show", name)
        self.assertIn(self.shown("title   : 理多"), out)
        self.assertIn("form id3", out)
        self.assertNotIn("track", out)
