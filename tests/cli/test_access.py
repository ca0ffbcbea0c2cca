"""Files and folders the user may not write."""
import os
import shutil
import subprocess

from cli_support import CliTest, frames, record, tool


class OrdinaryUser(CliTest):
    """Files and folders this user may not write. Root writes anything, so as root the CLI
    runs as an ordinary user made for the purpose."""

    def setUp(self):
        super().setUp()
        if self.cli.wine:
            self.skipTest("native only: a Wine prefix belongs to the user who made it")
        self.prefix = []
        if os.geteuid() == 0:
            if not tool("runuser") or not tool("useradd"):
                self.skipTest("runuser or useradd missing")
            if subprocess.run(["id", "-u", "tagzo-test"], capture_output=True).returncode != 0:
                subprocess.run(["useradd", "--system", "--no-create-home", "tagzo-test"], check=True)
            self.prefix = ["runuser", "-u", "tagzo-test", "--"]
            if subprocess.run(self.prefix + [self.cli.exe, "help"], capture_output=True).returncode != 0:
                self.skipTest("the ordinary user cannot run " + self.cli.exe)
        os.chmod(self.dir, 0o755)

    def run_as_user(self, *args, cwd):
        p = subprocess.run(self.prefix + [self.cli.exe] + list(args), cwd=cwd, capture_output=True,
                           stdin=subprocess.DEVNULL, timeout=300)
        return p.returncode, p.stderr.decode()

    def give(self, path):
        if self.prefix:
            shutil.chown(path, "tagzo-test")

    def test_folder_without_write_access(self):
        sub = os.path.join(self.dir, "locked")
        os.mkdir(sub)
        with open(os.path.join(sub, "f.mp3"), "wb") as f:
            f.write(frames(3) + record(b"old"))
        self.give(os.path.join(sub, "f.mp3"))
        os.chmod(sub, 0o555)
        before = self.read("locked/f.mp3")
        # The RMP form needs a new file beside the old one: refused, reported, nothing changed.
        code, err = self.run_as_user("set", "--title", "t" * 40, "f.mp3", cwd=sub)
        self.assertEqual(code, 1)
        self.assertIn("f.mp3", err)
        self.assertEqual(self.read("locked/f.mp3"), before)
        self.assertEqual(os.listdir(sub), ["f.mp3"])
        # The record alone is written in place, which the file itself allows.
        code, err = self.run_as_user("set", "--title", "short", "f.mp3", cwd=sub)
        self.assertEqual(code, 0, err)
        self.assertEqual(self.read("locked/f.mp3"), frames(3) + record(b"short"))

    def test_file_without_write_access(self):
        name = self.make("theirs.mp3", frames(2) + record(b"old"))
        path = os.path.join(self.dir, name)
        os.chmod(path, 0o644 if self.prefix else 0o444)  # as root: owned by root, not by the user
        for title in ("new", "n" * 40):
            code, err = self.run_as_user("set", "--title", title, name, cwd=self.dir)
            self.assertEqual(code, 1, title)
            self.assertIn(name, err)
            self.assertEqual(self.read(name), frames(2) + record(b"old"))
