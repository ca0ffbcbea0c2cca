"""`rename`: names from the tag, by pattern or format, and clashes."""
import os
import time

from cli_support import CliTest, chunk, f23, frames, id3v23, record, rmp_image


class Rename(CliTest):
    def tagged(self, name, title, artist, **kw):
        return self.make(name, frames(2) + record(title.encode("cp932"), artist.encode("cp932"), **kw))

    def rename(self, *args):
        code, out, err = self.run_cli("rename", *args)
        return code, out.splitlines(), err

    def test_both_patterns_and_the_replacements(self):
        a = self.tagged("a.mp3", "空手バカ☆一代", "地獄車")
        content = self.read(a)
        self.assertEqual(self.rename(a), (0, [self.shown("a.mp3 -> (地獄車)空手バカ☆一代.mp3")], ""))
        self.assertEqual(self.listing(), {"(地獄車)空手バカ☆一代.mp3": content})
        code, out, _ = self.rename("--pattern", "1", "(地獄車)空手バカ☆一代.mp3")
        self.assertEqual((code, out), (0, [self.shown("(地獄車)空手バカ☆一代.mp3 -> 地獄車-空手バカ☆一代.mp3")]))
        self.assertEqual(self.listing(), {"地獄車-空手バカ☆一代.mp3": content})
        # "/" and "?" get their full-width look-alikes on every system, not only where the plain
        # name fails; 表 and ソ end in 0x5C and stay whole; the extension is always .mp3.
        b = self.tagged("b.MP3", "a/b?表ソ", "x:y")
        self.assertEqual(self.rename("--pattern=0", b)[:2], (0, [self.shown("b.MP3 -> (x：y)a／b？表ソ.mp3")]))
        self.assertIn("(x：y)a／b？表ソ.mp3", self.listing())
        # A name that differs only in letter case is left alone; so is one whose look-alikes
        # are in place already.
        self.tagged("(ART)Title.mp3", "title", "art")
        self.assertEqual(self.rename("(ART)Title.mp3", "(x：y)a／b？表ソ.mp3"), (0, [], ""))
        self.assertIn("(ART)Title.mp3", self.listing())
        # An RMP file is named with its long texts, its artist whole.
        long_artist = "とても長い名前の歌手です" * 2  # 48 bytes
        subs = chunk(b"INAM", "曲".encode("cp932") + b"\0") + chunk(b"IART", long_artist.encode("cp932") + b"\0") + \
            chunk(b"IID3", record("曲".encode("cp932"), long_artist.encode("cp932")[:30]))
        self.make("r.rmp", rmp_image(frames(2), subs))
        self.assertEqual(self.rename("r.rmp")[:2], (0, [self.shown(f"r.rmp -> ({long_artist})曲.mp3")]))
        # --format builds the name from the tag's fields, the track in two digits, with the same
        # replacements; a field the tag lacks leaves the name as it is.
        f = self.make("f.mp3", frames(2) + record("題".encode("cp932"), b"A/B", b"Alb", b"1999", b"c")[:125] + b"\0\x07\xff")
        self.assertEqual(self.rename("--format", "%n %a - %t (%y) 100%%", f)[:2],
                         (0, [self.shown("f.mp3 -> 07 A／B - 題 (1999) 100%.mp3")]))
        code, out, err = self.rename("--format", "%n %t", "07 A／B - 題 (1999) 100%.mp3", "(ART)Title.mp3")
        self.assertEqual((code, out), (1, [self.shown("07 A／B - 題 (1999) 100%.mp3 -> 07 題.mp3")]))
        self.assertIn("(ART)Title.mp3: no track in the tag for %n; the name stays", err)
        for bad in ("%q", "50%", " "):
            self.assertEqual(self.rename("--format", bad, "(ART)Title.mp3")[0], 2, bad)
        # A file with only an ID3v2 tag is named from it, by either kind of name.
        v2 = f23(b"TIT2", b"\x01" + "流れ星".encode("utf-16")) + f23(b"TPE1", b"\x00Singer") + f23(b"TRCK", b"\x004/9")
        self.make("only-v2.mp3", id3v23(v2) + frames(2))
        self.assertEqual(self.rename("only-v2.mp3")[:2], (0, [self.shown("only-v2.mp3 -> (Singer)流れ星.mp3")]))
        self.assertEqual(self.rename("--format", "%n %t", "(Singer)流れ星.mp3")[:2],
                         (0, [self.shown("(Singer)流れ星.mp3 -> 04 流れ星.mp3")]))
        # A name that begins like our temporary files is still the user's: two hours later a
        # rewrite of a file beside it leaves it alone.
        self.tagged("u.mp3", "my song", ".tagzo")
        self.assertEqual(self.rename("--pattern", "1", "u.mp3")[:2], (0, ["u.mp3 -> .tagzo-my song.mp3"]))
        mine = self.read(".tagzo-my song.mp3")
        two_hours_ago = time.time() - 7200
        os.utime(os.path.join(self.dir, ".tagzo-my song.mp3"), (two_hours_ago, two_hours_ago))
        self.assertEqual(self.run_cli("set", "--title", "曲二", f"({long_artist})曲.mp3")[0], 0)
        self.assertEqual(self.listing().get(".tagzo-my song.mp3"), mine)
        # No title, no artist, no MP3: each named, the name kept, the rest done.
        self.tagged("notitle.mp3", "", "someone")
        self.tagged("noartist.mp3", "t", "")
        self.make("n.txt", b"text")
        self.tagged("ok.mp3", "fine", "z")
        code, out, err = self.rename("notitle.mp3", "noartist.mp3", "n.txt", "missing.mp3", "ok.mp3")
        self.assertEqual((code, out), (1, ["ok.mp3 -> (z)fine.mp3"]))
        for n in ("notitle.mp3", "noartist.mp3", "n.txt", "missing.mp3"):
            self.assertIn(n + ":", err)
        self.assertIn("n.txt: not an MP3 file (unknown); the name stays", err)
        self.assertTrue({"notitle.mp3", "noartist.mp3", "n.txt", "(z)fine.mp3"} <= set(self.listing()))
        # A backslash has no look-alike; Windows would take it for a folder.
        self.tagged("bs.mp3", "a\\b", "c")
        code, out, err = self.rename("bs.mp3")
        self.assertEqual((code, out), (1, []))
        self.assertIn("bs.mp3: the tag gives a name with a backslash", err)
        self.assertEqual(self.rename("--pattern", "2", "bs.mp3")[0], 2)
        self.assertEqual(self.rename("--bogus", "bs.mp3")[0], 2)

    def test_a_clash_fails_and_a_dry_run_changes_nothing(self):
        a = self.tagged("a.mp3", "T", "A")
        self.make("(A)T.mp3", b"another file")
        b = self.tagged("b.mp3", "Same", "B")
        c = self.tagged("c.mp3", "Same", "B", album=b"other")
        before = self.listing()
        code, out, err = self.rename("--dry-run", a, b, c)
        # The dry run predicts the clash with a file that exists and the one between b and c.
        self.assertEqual((code, out), (1, ["b.mp3 -> (B)Same.mp3"]))
        self.assertIn("a.mp3: (A)T.mp3 exists; the name stays", err)
        self.assertIn("c.mp3: (B)Same.mp3 exists; the name stays", err)
        self.assertEqual(self.listing(), before)
        code, out, err = self.rename(a, b, c)
        self.assertEqual((code, out), (1, ["b.mp3 -> (B)Same.mp3"]))
        self.assertIn("a.mp3: cannot rename to (A)T.mp3", err)
        self.assertIn("c.mp3: cannot rename to (B)Same.mp3", err)
        after = self.listing()
        self.assertEqual(after["a.mp3"], before["a.mp3"])
        self.assertEqual(after["(A)T.mp3"], b"another file")
        self.assertEqual(after["(B)Same.mp3"], before["b.mp3"])
        self.assertEqual(after["c.mp3"], before["c.mp3"])
        # A name longer than the file system takes fails in the dry run as in the real one.
        long = self.make("long.mp3", frames(2) + record(b"x", b"y"))
        self.assertEqual(self.run_cli("set", "--title", "t" * 250, long)[0], 0)  # 257 characters with "(y)"
        for args in (("--dry-run", long), (long,)):
            code, out, err = self.rename(*args)
            self.assertEqual((code, out), (1, []), args)
            self.assertIn("long.mp3: the tag gives a name longer than the file system takes (255); the name stays", err)
        if self.cli.wine:
            return
        # On Linux a backslash is a character of a name, and a Shift-JIS name's second byte may be
        # one: the file stays in its folder.
        for old in ("old\\name.mp3", b"\x83\x5c.mp3"):
            raw = os.fsencode(old) if isinstance(old, str) else old
            with open(os.path.join(os.fsencode(self.dir), raw), "wb") as f:
                f.write(frames(2) + record("曲".encode("cp932"), "歌手".encode("cp932")))
            code, out, err = self.rename(os.fsdecode(raw))
            self.assertEqual((code, err), (0, ""), old)
            self.assertIn("(歌手)曲.mp3", os.listdir(self.dir))
            os.remove(os.path.join(self.dir, "(歌手)曲.mp3"))
