"""Every command over folders (-r), the journal and undo, and the progress line."""
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile
import time

from cli_support import CliTest, chunk, f23, frames, id3v23, record, rmp_image


class Folders(CliTest):
    """-r walks folders for every command: sorted by the bytes of the names, each subfolder at
    its place, .mp3 and .rmp files in any letter case, never through a link to a folder."""

    def tree(self):
        os.makedirs(os.path.join(self.dir, "top", "sub", "deeper"))
        self.make("top/B.MP3", frames(1) + record(b"b", b"A"))
        self.make("top/a.mp3", frames(1) + record(b"a", b"A"))
        self.make("top/c.Rmp", rmp_image(frames(1), chunk(b"INAM", b"c\0") + chunk(b"IART", b"A\0") +
                                         chunk(b"IID3", record(b"c", b"A"))))
        self.make("top/notes.txt", b"not music")
        self.make("top/mp3", b"no extension")
        self.make("top/sub/d.mp3", frames(1) + record(b"d", b"A"))
        self.make("top/sub/deeper/e.mp3", frames(1) + record(b"e", b"A"))
        return ["top/B.MP3", "top/a.mp3", "top/c.Rmp", "top/sub/d.mp3", "top/sub/deeper/e.mp3"]

    def test_every_command_walks_a_tree(self):
        walked = self.tree()
        self.make("loose.mp3", frames(1) + record(b"l", b"A"))
        code, objs, err = self.show("-r", "top", "loose.mp3")
        self.assertEqual(code, 0, err)
        self.assertEqual([o["path"] for o in objs], walked + ["loose.mp3"])
        # A trailing separator names the same folder.
        self.assertEqual([o["path"] for o in self.show("--recursive", "top/sub/")[1]],
                         ["top/sub/d.mp3", "top/sub/deeper/e.mp3"])
        # Without -r a folder is refused, named, and the files beside it are done.
        code, objs, err = self.show("top", "loose.mp3")
        self.assertEqual((code, [o["path"] for o in objs]), (1, ["top", "loose.mp3"]))
        self.assertEqual((objs[0]["error"], objs[1]["error"]), ("is a folder; -r walks it", None))
        self.assertIn("top: is a folder; -r walks it", err)
        self.expect(0, "set", "-r", "--album", "Walked", "top")
        self.assertEqual([o["album"] for o in self.show(*walked)[1]], ["Walked"] * 5)
        self.assertEqual(self.read("top/notes.txt"), b"not music")
        self.assertIn("top: is a folder; -r walks it", self.expect(1, "set", "--album", "x", "top")[1])
        out = self.quiet("rename", "-r", "--pattern", "1", "--dry-run", "top")
        self.assertEqual(out.splitlines(), ["top/B.MP3 -> top/A-b.mp3", "top/a.mp3 -> top/A-a.mp3",
                                            "top/c.Rmp -> top/A-c.mp3", "top/sub/d.mp3 -> top/sub/A-d.mp3",
                                            "top/sub/deeper/e.mp3 -> top/sub/deeper/A-e.mp3"])
        self.assertEqual(self.run_cli("rename", "-r", "--pattern", "1", "top")[0], 0)
        self.assertEqual(sorted(self.listing()), ["loose.mp3", "top/A-a.mp3", "top/A-b.mp3", "top/A-c.mp3", "top/mp3",
                                                  "top/notes.txt", "top/sub/A-d.mp3", "top/sub/deeper/A-e.mp3"])
        # export mirrors the tree under --out, so equal names in two folders never clash.
        self.make("top/sub/A-a.mp3", frames(1) + record(b"other a", b"A"))
        self.quiet("export", "-r", "--out", "mirror", "top")
        exported = {n: d for n, d in self.listing().items() if n.startswith("mirror/")}
        self.assertEqual(sorted(exported), ["mirror/A-a.mp3", "mirror/A-b.mp3", "mirror/A-c.mp3", "mirror/sub/A-a.mp3",
                                            "mirror/sub/A-d.mp3", "mirror/sub/deeper/A-e.mp3"])
        for name, data in exported.items():
            self.assertEqual(data[:3], b"ID3", name)
        self.assertTrue(exported["mirror/sub/A-a.mp3"].endswith(record(b"other a", b"A")))
        self.assertTrue(exported["mirror/A-a.mp3"].endswith(record(b"a", b"A", b"Walked")))
        # Files given apart are named by their own names: two of one name, or an .rmp beside its
        # .mp3, would write one output; the later one fails, and the first one's output stays.
        self.make("top/A-a.rmp", rmp_image(frames(1), chunk(b"IID3", record(b"rmp a", b"A"))))
        _, err = self.expect(1, "export", "--out", "flat", "top/A-a.mp3", "top/sub/A-a.mp3", "top/A-a.rmp")
        self.assertIn("top/sub/A-a.mp3: its output flat/A-a.mp3 is top/A-a.mp3's already; nothing written", err)
        self.assertIn("top/A-a.rmp: its output flat/A-a.mp3 is top/A-a.mp3's already; nothing written", err)
        self.assertTrue(self.read("flat/A-a.mp3").endswith(record(b"a", b"A", b"Walked")))

        # A batch kept in a journal is one command to take back: records rewritten in place,
        # files converted to the RMP form, renames, newest first, byte for byte.
        os.remove(os.path.join(self.dir, "top/A-a.rmp"))  # its RMP form has no texts to be named by
        before = self.listing()
        self.quiet("set", "-r", "--journal", "j.log", "--album", "新盤", "top")
        self.quiet("set", "--journal", "j.log", "--comment", "長いコメント" * 4, "top/A-b.mp3")
        self.quiet("rename", "-r", "--journal", "j.log", "top")
        self.assertNotEqual(self.listing(leave_out=["j.log"]), before)
        self.quiet("undo", "j.log")
        self.assertEqual(self.listing(leave_out=["j.log"]), before)
        # Taken back, the files stand as before the changes: a second undo says so once.
        self.assertEqual(self.run_cli("undo", "j.log"),
                         (0, "", "tagzo-cli: j.log: its changes are undone already; nothing to put back\n"))
        self.assertEqual(self.listing(leave_out=["j.log"]), before)
        # A later change in the same journal, its file changed since: named, the rest said once.
        self.assertEqual(self.run_cli("set", "--journal", "j.log", "--year", "2030", "top/A-b.mp3")[0], 0)
        with open(os.path.join(self.dir, "top/A-b.mp3"), "ab") as f:
            f.write(b"x")
        _, err = self.expect(1, "undo", "j.log")
        self.assertIn("top/A-b.mp3: has changed since the journal's change; left as it is", err)
        self.assertIn("of its changes were undone already and are left so", err)

    def test_journal_is_a_write_ahead_log(self):
        os.mkdir(os.path.join(self.dir, "d"))
        originals = {}
        for i in range(12):
            name = f"d/s{i:02d}.mp3"
            originals[name] = self.make(name, frames(2) + record(f"old {i}".encode())) and self.read(name)
        # A journal named like a music file inside the walked folder is never one of the files.
        self.quiet("set", "-r", "--journal", "d/j.mp3", "--album", "New", "d")
        self.assertEqual(self.read("d/j.mp3")[:8], b"tagzo-j2")
        self.assertNotIn(b"TAG", self.read("d/j.mp3")[-128:-125])
        # undo from another folder acts on the files that were changed: the paths are whole.
        sub = os.path.join(self.dir, "elsewhere")
        os.mkdir(sub)
        p = subprocess.run(self.cli.command("undo", "../d/j.mp3"), cwd=sub, capture_output=True,
                           stdin=subprocess.DEVNULL)
        self.assertEqual(p.returncode, 0, p.stderr)
        self.assertEqual({n: self.read(n) for n in originals}, originals)
        self.assertEqual(os.listdir(sub), [])

        # A change cut short (killed between its write and its after record) is put back, named.
        self.assertEqual(self.run_cli("set", "--journal", "cut.log", "--title", "cut", "d/s00.mp3")[0], 0)
        journal = self.read("cut.log")
        after = journal.rfind(b"TZJR")
        self.assertEqual(journal[after + 4:after + 5], b"A")
        self.make("cut.log", journal[:after])
        self.assertEqual(self.run_cli("undo", "cut.log"), (0, "d/s00.mp3: put back (its change was cut short)\n", ""))
        self.assertEqual(self.read("d/s00.mp3"), originals["d/s00.mp3"])
        # One flipped byte in the bytes a record keeps: that change is left alone, named, exit 1;
        # the other changes of the journal are put back.
        self.assertEqual(self.run_cli("set", "--journal", "flip.log", "--title", "a", "d/s01.mp3", "d/s02.mp3")[0], 0)
        journal = bytearray(self.read("flip.log"))
        first = journal.find(b"TZJR")
        journal[first + 40] ^= 0x01
        self.make("flip.log", bytes(journal))
        changed = self.read("d/s01.mp3")
        out, err = self.expect(1, "undo", "flip.log")
        self.assertEqual(out, "d/s02.mp3: put back\n")
        self.assertIn(f"record at byte {first} is damaged", err)
        self.assertEqual((self.read("d/s01.mp3"), self.read("d/s02.mp3")), (changed, originals["d/s02.mp3"]))
        self.make("d/s01.mp3", originals["d/s01.mp3"])
        # Two commands on one journal: one waits for the other, and every change comes back.
        for code, err in self.cli.together([["set", "--journal", "both.log", field, "x"] + sorted(originals)
                                            for field in ("--artist", "--comment")], self.dir):
            self.assertEqual(code, 0, err)
        self.assertEqual(self.run_cli("undo", "both.log")[0], 0)
        self.assertEqual({n: self.read(n) for n in originals}, originals)
        # A rewrite keeps the old file itself, by a second name in the journal's kept folder: the
        # journal holds no old bytes, and undo moves each file back.
        self.assertEqual(self.run_cli("export", "-r", "--journal", "keep.log", "d")[0], 0)
        self.assertNotIn(b"old 3", self.read("keep.log"))
        kept = os.path.join(self.dir, "keep.log.kept")
        self.assertEqual(sorted(self.read(os.path.join(kept, n)) for n in os.listdir(kept)),
                         sorted(originals.values()))
        # A kept name past the journal's end (a command killed between its link and its record)
        # goes when the journal is next opened; and no kept file is ever walked.
        self.make("keep.log.kept/99999999", b"orphan")
        one = "keep.log.kept/" + min(os.listdir(kept), key=int)
        self.quiet("set", "--journal", "keep.log", "--year", "2001", "d/s05.mp3", one)
        self.assertNotIn("99999999", os.listdir(kept))
        self.assertEqual(len(os.listdir(kept)), 13)  # the year goes into the tag of the new file
        # A kept file that is gone: its file is named and left, exit 1; the others come back.
        lost = os.path.join(kept, min(os.listdir(kept), key=int))
        with open(lost, "rb") as f:
            lost_name = [n for n, v in originals.items() if v == f.read()][0]
        os.remove(lost)
        _, err = self.expect(1, "undo", "keep.log")
        self.assertIn("is missing", err)
        self.assertIn(lost_name, err)
        self.assertEqual({n: self.read(n) for n in originals if n != lost_name},
                         {n: v for n, v in originals.items() if n != lost_name})
        self.assertEqual(os.listdir(kept), [])
        self.make(lost_name, originals[lost_name])
        # A journal on a full file system: the append that does not fit is cut off again, and a
        # later batch on the same journal can still be undone.
        if self.cli.wine or os.geteuid() != 0:
            return
        small = os.path.join(self.dir, "small")
        os.mkdir(small)
        if subprocess.run(["mount", "-t", "tmpfs", "-o", "size=12k", "tmpfs", small], capture_output=True).returncode:
            print("skipped: no small tmpfs can be mounted here for the full-disk case", file=sys.stderr)
            return
        try:
            big = self.make("big.mp3", frames(60) + record(b"big"))  # 25 KB: its conversion does not fit
            _, err = self.expect(1, "set", "--journal", "small/j.log", "--title", "長い題名" * 5, big)
            self.assertIn("the journal cannot take the change", err)
            self.assertEqual(self.read(big), frames(60) + record(b"big"))
            self.assertEqual(self.run_cli("set", "--journal", "small/j.log", "--year", "1999", "d/s04.mp3")[0], 0)
            # The change held back left its first record alone: undo finds that file as it was.
            self.assertEqual(self.run_cli("undo", "small/j.log"),
                             (0, "d/s04.mp3: put back\nbig.mp3: its change was cut short; as it was\n", ""))
            self.assertEqual(self.read("d/s04.mp3"), originals["d/s04.mp3"])
        finally:
            subprocess.run(["umount", small])

    def test_killed_batches_come_back_by_undo(self):
        # A batch killed at each system call that touches the files or the journal in turn (by
        # strace; at random points where it is missing), then undone: every file is back byte
        # for byte, or named with exit 1; never a silent 0 with a file left changed.
        if self.cli.wine:
            self.skipTest("native only: a killed Wine process leaves its children running")
        tagged = id3v23(f23(b"TIT2", b"\x00" + "星に願いを".encode("cp932")))
        touching = ("openat", "write", "pwrite64", "fsync", "fdatasync", "syncfs", "ftruncate", "rename", "renameat2",
                    "link", "linkat", "unlink", "unlinkat", "copy_file_range", "mkdir", "close")
        commands = (["set", "--album", "killed"], ["export", "--overwrite"], ["repair"])
        if shutil.which("strace"):
            points = []
            for args in commands:
                folder = f"probe{len(points)}"
                os.mkdir(os.path.join(self.dir, folder))
                for i in range(3):
                    self.make(f"{folder}/f{i}.mp3", tagged + frames(3) + record(f"t{i}".encode()))
                trace = os.path.join(self.dir, "calls.txt")
                subprocess.run(["strace", "-f", "-qq", "-o", trace, "-e", "trace=" + ",".join(touching), self.cli.exe] +
                               args + ["-r", "--journal", folder + ".log", folder], cwd=self.dir, capture_output=True)
                seen = {}
                with open(trace) as f:
                    for line in f:
                        call = re.match(r"(?:\d+ +)?(\w+)\(", line)
                        if call and call.group(1) in touching:
                            seen[call.group(1)] = seen.get(call.group(1), 0) + 1
                            points.append((args, 3, ["strace", "-f", "-qq", "-o", "/dev/null", "-e",
                                                     f"inject={call.group(1)}:signal=KILL:when={seen[call.group(1)]}"]))
        else:
            print("strace is missing: the batches are killed at random points instead", file=sys.stderr)
            rng = random.Random(1234)
            points = [(commands[t % 3], 40, rng.uniform(0.0, 0.03)) for t in range(24)]
        self.assertGreater(len(points), 60)
        # Batches of more files than a group holds, killed while groups are written and replaced.
        rng = random.Random(4321)
        points += [(commands[1 + t % 2], 150, rng.uniform(0.01, 0.15)) for t in range(4)]
        for trial, (args, count, kill) in enumerate(points):
            folder = os.path.join(self.dir, f"k{trial}")
            os.mkdir(folder)
            originals = {}
            for i in range(count):
                data = tagged + frames(3) + record(f"t{i}".encode())
                originals[f"k{trial}/f{i:02d}.mp3"] = self.make(f"k{trial}/f{i:02d}.mp3", data) and data
            journal = f"k{trial}.log"
            run = subprocess.Popen((kill if isinstance(kill, list) else []) + [self.cli.exe] + args +
                                   ["-r", "--journal", journal, f"k{trial}"], cwd=self.dir,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            if not isinstance(kill, list):
                time.sleep(kill)
                run.kill()
            run.wait()
            if not os.path.exists(os.path.join(self.dir, journal)):
                self.assertEqual({n: self.read(n) for n in originals}, originals, trial)
                continue
            code, out, err = self.run_cli("undo", journal)
            for name, data in originals.items():
                if self.read(name) != data:
                    self.assertEqual(code, 1, f"trial {trial} {args} {kill}: {name} left changed\n{out}{err}")
                    self.assertIn(name, err, trial)
            # Nothing of ours is left beside the files after the next command, nor in the kept folder.
            self.run_cli("show", "-r", f"k{trial}")
            self.assertEqual(sorted(os.listdir(folder)), sorted(n.split("/")[1] for n in originals),
                             (trial, args, kill, out, err))
            self.assertEqual(os.listdir(os.path.join(self.dir, journal + ".kept"))
                             if os.path.isdir(os.path.join(self.dir, journal + ".kept")) else [], [], (trial, kill))

        # Without a journal a batch keeps the old files it replaced under names of ours, to write
        # later files into. Killed part-way, it leaves each file whole, old or new; the next run
        # leaves nothing of ours beside them, in a folder it finds done too.
        def tree(top):
            for sub in "abc":
                os.makedirs(os.path.join(self.dir, top, sub))
                for i in range(100):
                    self.make(f"{top}/{sub}/f{i:02d}.mp3", tagged + frames(3) + record(f"{sub}{i}".encode()))
            return {os.path.join(top, sub, n): self.read(os.path.join(top, sub, n))
                    for sub in "abc" for n in os.listdir(os.path.join(self.dir, top, sub))}
        before = tree("whole")
        started = time.monotonic()
        self.expect(0, "repair", "-r", "whole")
        whole = time.monotonic() - started
        after = {n: self.read(n) for n in before}
        for trial, share in enumerate((0.3, 0.5, 0.7)):
            top = f"n{trial}"
            tree(top)
            run = subprocess.Popen([self.cli.exe, "repair", "-r", top], cwd=self.dir,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            time.sleep(whole * share)
            run.kill()
            run.wait()
            for name in before:
                self.assertIn(self.read(name.replace("whole", top, 1)), (before[name], after[name]), (trial, name))
            self.expect(0, "repair", "-r", top)
            for sub in "abc":
                self.assertEqual(sorted(os.listdir(os.path.join(self.dir, top, sub))),
                                 [f"f{i:02d}.mp3" for i in range(100)], (trial, sub))
            self.assertEqual({n: self.read(n.replace("whole", top, 1)) for n in before}, after, trial)
        self.make("whole/b/.tagzo-0a1b2c", b"an old file a killed batch kept")
        self.expect(0, "repair", "-r", "whole")
        self.assertNotIn(".tagzo-0a1b2c", os.listdir(os.path.join(self.dir, "whole", "b")))

    def test_links_to_folders_are_not_followed(self):
        if self.cli.wine:
            self.skipTest("native only: Wine shows a link as what it points at")
        walked = self.tree()
        outside = tempfile.mkdtemp(prefix="tagzo-outside-")
        self.addCleanup(shutil.rmtree, outside)
        with open(os.path.join(outside, "far.mp3"), "wb") as f:
            f.write(frames(1))
        os.symlink("..", os.path.join(self.dir, "top", "sub", "loop"))
        os.symlink(outside, os.path.join(self.dir, "top", "away"))
        os.symlink("sub/d.mp3", os.path.join(self.dir, "top", "link.mp3"))
        os.symlink("nowhere.mp3", os.path.join(self.dir, "top", "dangling.mp3"))
        code, objs, err = self.show("-r", "top")
        self.assertEqual(code, 0, err)
        # The link to a file is taken; the loop, the way out and the dangling link are not.
        self.assertEqual([o["path"] for o in objs], walked[:3] + ["top/link.mp3"] + walked[3:])
        self.expect(0, "set", "-r", "--title", "t", "top")
        with open(os.path.join(outside, "far.mp3"), "rb") as f:
            self.assertEqual(f.read(), frames(1))
        # A folder that cannot be read is named; the rest of the walk goes on.
        if os.geteuid() != 0:
            os.chmod(os.path.join(self.dir, "top", "sub", "deeper"), 0)
            code, objs, err = self.show("-r", "top")
            self.assertEqual(code, 1)
            self.assertIn("top/sub/deeper: cannot read the folder", err)
            self.assertEqual(len(objs), 5)

    def test_progress_only_on_a_terminal(self):
        if self.cli.wine:
            self.skipTest("native only: a pseudo-terminal is no console to Wine")
        import pty
        os.mkdir(os.path.join(self.dir, "many"))
        for i in range(201):
            self.make(f"many/{i:03}.mp3", frames(1))
        def on_terminal(*args):
            master, slave = pty.openpty()
            with tempfile.TemporaryFile() as out:
                p = subprocess.Popen([self.cli.exe, *args], cwd=self.dir, stdout=out, stderr=slave,
                                     stdin=subprocess.DEVNULL)
                os.close(slave)
                seen = b""
                while True:
                    try:
                        chunk_ = os.read(master, 65536)
                    except OSError:  # the terminal's far end closed
                        break
                    if not chunk_:
                        break
                    seen += chunk_
                self.assertEqual(p.wait(timeout=60), 0)
                os.close(master)
                out.seek(0)
                self.assertEqual(len(out.read().splitlines()), 201)
            return seen

        # Files named one by one are counted against their total; a walk that shows each file
        # as it comes to it counts them from the 201st.
        names = sorted(f"many/{n}" for n in os.listdir(os.path.join(self.dir, "many")))
        seen = on_terminal("show", "--json", *names)
        self.assertIn(b"tagzo-cli: 1/201 files", seen)
        self.assertIn(b"tagzo-cli: 201/201 files", seen)
        seen = on_terminal("show", "-r", "--json", "many")
        self.assertIn(b"tagzo-cli: 201 files", seen)
        self.assertNotIn(b"tagzo-cli: 200 files", seen)
        # Not on a file, nor for 200 files on a terminal.
        self.quiet("show", "-r", "many")
        os.remove(os.path.join(self.dir, "many", "200.mp3"))
        master, slave = pty.openpty()
        p = subprocess.run([self.cli.exe, "show", "-r", "many"], cwd=self.dir, stdout=subprocess.DEVNULL,
                           stderr=slave, stdin=subprocess.DEVNULL, timeout=60)
        os.close(slave)
        os.set_blocking(master, False)
        try:
            rest = os.read(master, 65536)
        except OSError:
            rest = b""
        os.close(master)
        self.assertEqual((p.returncode, rest), (0, b""))
