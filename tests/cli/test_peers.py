"""The peers' files: read without a crash, set with the audio kept."""
import os
import shutil
import cli_support

from cli_support import CliTest, id3v2_size, record


class Peers(CliTest):
    def peers(self):
        d = os.path.join(cli_support.ARGS.testdata, "peers")
        if not os.path.isdir(d):
            self.skipTest("no ../shared/testdata/peers beside this clone")
        return d

    def test_every_peer_file_is_read_without_crash(self):
        d = self.peers()
        for sub in sorted(os.listdir(d)):
            if not os.path.isdir(os.path.join(d, sub)):
                continue
            for n in sorted(os.listdir(os.path.join(d, sub))):
                shutil.copy(os.path.join(d, sub, n), os.path.join(self.dir, sub + "_" + n))
        names = sorted(os.listdir(self.dir))
        code, objs, err = self.show(*names)
        self.assertEqual(code, 0, err)
        self.assertEqual(len(objs), len(names))
        by = {o["path"]: o for o in objs}
        self.assertEqual(by["nightingale-hacking_MP3_ID3v1_Shift_JIS.mp3"]["artist"], "理多")
        self.assertEqual(by["taglib_mpeg2.rmp"]["info"]["IGNR"], "A Cappella")
        self.assertEqual(by["hsaudiotag_composer.jpg"]["kind"], "jpeg")
        self.assertEqual(by["tinytag_id3v1_does_not_overwrite_id3v2.mp3"]["form"], "id3")
        # export keeps every frame: both TPE1 of a 2.3 tag whose record names the first artist;
        # repair changes the version of no tag that has nothing to mend (2.2 ones here).
        for n in ("mutagen_silence-44-s.mp3", "taglib_itunes10.mp3", "mutagen_id3v22-test.mp3"):
            os.chmod(os.path.join(self.dir, n), 0o644)  # the shared copies come without write bits
        before = self.read("mutagen_silence-44-s.mp3")
        self.assertEqual(before.count(b"TPE1"), 2)
        self.assertEqual(self.run_cli("export", "mutagen_silence-44-s.mp3")[0], 0)
        after = self.read("mutagen_silence-44-s.mp3")
        self.assertEqual(after.count(b"TPE1"), 2)
        self.assertIn(b"jzig", after)
        for n in ("taglib_itunes10.mp3", "mutagen_id3v22-test.mp3"):
            was = self.read(n)
            self.assertEqual(self.run_cli("repair", n), (0, "", ""), n)
            self.assertEqual(self.run_cli("repair", "--dry-run", n), (0, "", ""), n)
            self.assertEqual(self.read(n), was, n)
        # Asked for 2.4, iTunes' TCP becomes TCMP; the 2.3-only RVA is the frame named.
        code, _, err = self.run_cli("repair", "--id3v2.4", "taglib_itunes10.mp3")
        self.assertEqual(code, 1)
        self.assertIn("its RVA frame cannot be carried", err)

    def test_setting_every_peer_mp3_keeps_the_audio(self):
        d = self.peers()
        for sub in ("taglib", "mutagen", "hsaudiotag", "nightingale-hacking", "tinytag"):
            for n in sorted(os.listdir(os.path.join(d, sub))):
                src = os.path.join(d, sub, n)
                with open(src, "rb") as f:
                    name = self.make(sub + "_" + n, f.read())
                original = self.read(name)
                code, objs, _ = self.show(name)
                if objs[0]["kind"] != "mp3":
                    continue
                code, _, err = self.run_cli("set", "--title", "x" * 35, name)
                # An empty file, or a tag that claims more than the file holds, is refused whole.
                if "nothing written" in err:
                    self.assertEqual((code, self.read(name)), (1, original), name + err)
                    self.assertTrue(not original or "ID3v2" in err, name + err)
                    continue
                # A damaged tag is left as it was, said, and no success; the record is written.
                left = "the ID3v2 tag, which players read first, is as it was" in err
                self.assertEqual(code, 1 if left else 0, name + err)
                data = self.read(name)
                self.assertEqual(data[-128:-95], b"TAG" + b"x" * 30, name)
                if original[8:12] == b"RMP3":
                    continue
                v2 = objs[0]["id3v2"]
                if v2 is not None:
                    # The long title went whole into the file's tag at its start (or nowhere, said):
                    # no conversion, the stream after the tag as it was.
                    _, [o], _ = self.show(name)
                    self.assertTrue(o["form"].startswith("id3+v2"), name + o["form"])
                    if left or id3v2_size(original) == 0:
                        continue
                    self.assertEqual(o["id3v2"]["title"], "x" * 35, name)
                    had_record = original[-128:-125] == b"TAG"
                    stream = original[id3v2_size(original):-128 if had_record else None]
                    self.assertEqual(data[id3v2_size(data):-128], stream, name)
                    continue
                had_record = len(original) >= 128 and original[-128:-125] == b"TAG"
                stream = original[:-128] if had_record else original
                self.assertEqual(data[20:20 + len(stream)], stream, name)
