#!/usr/bin/env python3
"""The installer and the uninstaller under Wine, from this build's distribution archive.

Each scenario runs in a copy of the build's booted prefix, with a HOME and XDG folders of its
own. The dialogs are driven by drive_install.exe, one step per run; files are compared from
outside and the registry is read through the project's Wine runner (reg export, whose file is
UTF-16: the same under any code page). The runner's locale, TAGZO_WINE_LOCALE, picks the booted
prefix the copies are made from."""
import argparse
import os
import pwd
import re
import shutil
import subprocess
import sys
import tempfile
import time
import unittest
import zipfile

ARGS = None
INSTALL = "c:\\Program Files\\Accessories\\tagzo\\"
SHIPPED = ["tagzo.exe", "Readme.txt", "install.exe", "uninstall.exe", "vbmp3.dll"]
VERB = "id3タグ編集"
DONE = "{}を完了しました\n－＞ｲﾝｽﾄｰﾙ先［" + INSTALL + "］\n\n現在のﾃﾞｨﾚｸﾄﾘにあるﾌｧｲﾙは削除してしまっても構いません"
COPY_FAILED = "ｲﾝｽﾄｰﾙに失敗しました\nｱｰｶｲﾌﾞを解凍しなおしてから再度ｲﾝｽﾄｰﾙを試みて下さい"
SAME_FOLDER = "ｲﾝｽﾄｰﾙ先ﾃﾞｨﾚｸﾄﾘと ｲﾝｽﾄｰﾙ元ﾃﾞｨﾚｸﾄﾘ が同じなので、ﾌｧｲﾙのｺﾋﾟｰは行いませんでした"
REMOVED = "ﾚｼﾞｽﾄﾘのｺﾞﾐ及び実行ﾌｧｲﾙ群を削除しました"
# The texts of dialog 129, in the template's order (the picture is checked on its own).
DIALOG_TEXTS = [
    "Button|ｲﾝｽﾄｰﾙ先ﾃﾞｨﾚｸﾄﾘ（固定）", "Edit|" + INSTALL, "Button|ﾃﾞｽｸﾄｯﾌﾟにｼｮｰﾄｶｯﾄを作成する",
    "Button|右ｸﾘｯｸﾒﾆｭｰの設定", "Button|MP3ﾌｧｲﾙの右ｸﾘｯｸﾒﾆｭｰから起動できるようにする",
    "Static|←こんなん", "Button|VBMP3再生環境", "Button|VBMP3ﾃﾞﾌｫﾙﾄ設定 / 高音質",
    "Static|通常はこのﾓｰﾄﾞを使用します", "Button|低ｽﾍﾟｯｸﾉｰﾄﾏｼﾝ",
    "Static|1/4にﾀﾞｳﾝｻﾝﾌﾟﾘﾝｸﾞ\n\nCx586 100MHz/ﾒﾓﾘ8MB/Windows95\nで、音飛びが発生しない設定です",
    "Static|個人的にｼｽﾃﾑをいじられるのが嫌なので、右ｸﾘｯｸﾒﾆｭｰ関連以外はﾚｼﾞｽﾄﾘを一切使いません\n( このｲﾝｽﾄｰﾗも然り )",
]


def mp3(title):
    record = b"TAG" + title.ljust(30, b" ") + b" " * 94 + bytes([255])
    return (b"\xFF\xFB\x90\x64" + bytes(413)) * 20 + record


class Prefix:
    """A copy of the build's booted prefix, with a HOME of its own, and what runs in it."""

    def __init__(self, work, name):
        self.root = os.path.join(work, name)
        shutil.rmtree(self.root, ignore_errors=True)
        os.makedirs(self.root)
        self.path = os.path.join(self.root, "wineprefix")
        subprocess.run(["cp", "-a", ARGS.prefix, self.path], check=True)
        home = os.path.join(self.root, "home")
        self.env = dict(os.environ, TAGZO_WINEPREFIX=self.path, TAGZO_WINE_BUILD=ARGS.build, HOME=home,
                        XDG_CONFIG_HOME=os.path.join(home, ".config"), XDG_DATA_HOME=os.path.join(home, ".local/share"),
                        XDG_CACHE_HOME=os.path.join(home, ".cache"), XDG_DESKTOP_DIR=os.path.join(home, "Desktop"))
        for d in ("XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_DESKTOP_DIR"):
            os.makedirs(self.env[d], exist_ok=True)
        # The user's shell folders must be the prefix's own, never links into a real home.
        user = os.path.join(self.path, "drive_c", "users", pwd.getpwuid(os.getuid()).pw_name)
        for d in os.listdir(user) if os.path.isdir(user) else []:
            p = os.path.join(user, d)
            if os.path.islink(p):
                os.unlink(p)
                os.makedirs(p)
        self.desktop = os.path.join(user, "Desktop")
        os.makedirs(self.desktop, exist_ok=True)
        self.passed = False

    def close(self, keep):
        subprocess.run(["wineserver", "-k"], env=dict(self.env, WINEPREFIX=self.path), capture_output=True)
        subprocess.run(["wineserver", "-w"], env=dict(self.env, WINEPREFIX=self.path), capture_output=True)
        if not keep:
            shutil.rmtree(self.root, ignore_errors=True)

    def c(self, windows_path):
        """The Linux path of a path on drive c:."""
        rest = windows_path[3:].replace("\\", "/")
        return os.path.join(self.path, "drive_c", rest)

    def run(self, *cmd):
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            code = subprocess.run([ARGS.wine] + list(cmd), env=self.env, stdin=subprocess.DEVNULL, stdout=out,
                                  stderr=err, timeout=300).returncode
            out.seek(0)
            err.seek(0)
            return code, out.read(), err.read()

    def drive(self, *args):
        """One step of the driver: what it printed, each key with the list of its values."""
        code, out, err = self.run(ARGS.driver, *args)
        seen = {}
        for line in out.decode("utf-8", "replace").splitlines():
            key, _, value = line.partition("\t")
            seen.setdefault(key, []).append(value.replace("\\n", "\n").replace("\\r", "\r"))
        assert code == 0 and "error" not in seen, f"drive_install {args}: {code} {seen} {err[-2000:]!r}"
        return {k: v[0] if len(v) == 1 else v for k, v in seen.items()}

    def reg(self, *args):
        """reg's exit code; what it prints is in the system's code page, so texts are read
        through export.
        The keys of a file type under HKEY_CLASSES_ROOT are shared by 32-bit and 64-bit
        programs: both builds of the installer write them into the prefix's Software\\Classes,
        outside Wow6432Node. Wine's reg is a 64-bit program, and its own view is the one that
        holds them; its 32-bit view (/reg:32) answers "not found" for them and writes under
        Wow6432Node, where neither build of the installer looks."""
        return self.run("reg", *args, "/reg:64")[0]

    def export(self, key):
        """A key under HKEY_CLASSES_ROOT and everything below it as reg export writes it, in
        UTF-16 whatever the code page is; None when the key is missing."""
        path = os.path.join(self.root, "export.reg")
        if os.path.exists(path):
            os.unlink(path)
        code = self.reg("export", "HKCR\\" + key, "z:" + path.replace("/", "\\"), "/y")
        if code != 0 or not os.path.exists(path):
            return None
        with open(path, "rb") as f:
            text = f.read().decode("utf-16")
        os.unlink(path)
        return text.replace("\r\n", "\n")

    @staticmethod
    def sections(text, key):
        """The exported keys, each (its path below `key`, its lines)."""
        head = "[HKEY_CLASSES_ROOT\\" + key
        out, lines = [], None
        for line in text.splitlines():
            if line.startswith("[") and line.endswith("]"):
                lines = None
                if line.lower() == head.lower() + "]" or line.lower().startswith(head.lower() + "\\"):
                    lines = []
                    out.append((line[len(head) + 1:-1], lines))
            elif lines is not None and line:
                lines.append(line)
        return out

    def default_value(self, key):
        """The unnamed value of a key under HKEY_CLASSES_ROOT, None when the key or the value is
        missing."""
        text = self.export(key)
        for below, lines in self.sections(text or "", key):
            if below == "":
                for line in lines:
                    if line.startswith('@="') and line.endswith('"'):
                        return re.sub(r"\\(.)", r"\1", line[3:-1])
        return None

    def subkeys(self, key):
        """The names of a key's subkeys as the registry holds them, None when it is missing."""
        text = self.export(key)
        if text is None:
            return None
        return sorted({below.split("\\")[0] for below, _ in self.sections(text, key) if below})

    def has_key(self, key):
        return self.reg("query", "HKCR\\" + key) == 0

    def snapshot(self, present=(".mp3",)):
        """The registry entries and the files the programs could touch. The keys named in
        `present` must be there: two snapshots that both miss a key would compare equal
        whatever a program wrote to it."""
        files = {}
        for top in (self.c("c:\\Program Files\\Accessories"), self.desktop):
            for root, _, names in os.walk(top):
                for n in names:
                    with open(os.path.join(root, n), "rb") as f:
                        files[os.path.relpath(os.path.join(root, n), self.path)] = f.read()
        keys = {k: self.export(k) for k in (".mp3", "mp3_auto_file", "WMP.mp3file")}
        for k in present:
            assert keys[k] is not None, f"the snapshot misses the key {k}"
        return files, keys

    def unpack(self, folder, leave_out=()):
        """The archive unpacked into a folder of drive c:, with a stand-in for explorer."""
        target = self.c(folder)
        os.makedirs(target, exist_ok=True)
        with zipfile.ZipFile(ARGS.archive) as z:
            for name in z.namelist():
                if name not in leave_out:
                    z.extract(name, target)
        shutil.copy(ARGS.stand_in, os.path.join(target, "explorer.exe"))
        return folder

    def read(self, windows_path):
        with open(self.c(windows_path), "rb") as f:
            return f.read()

    def started_explorer(self, folder, wait=20):
        """The command line the explorer stand-in in `folder` was started with, once; or None.
        The installer does not wait for the program it starts: it may write a moment later."""
        args = self.c(folder + "args.txt")
        for _ in range(wait * 10):
            if os.path.exists(args):
                break
            time.sleep(0.1)
        else:
            return None
        with open(args, "rb") as f:
            text = f.read().decode("cp932")
        os.unlink(args)
        return text


class InstallTest(unittest.TestCase):
    maxDiff = None

    @classmethod
    def setUpClass(cls):
        made = subprocess.run([ARGS.dist, ARGS.build], capture_output=True, text=True)
        assert made.returncode == 0, made.stderr
        ARGS.archive = made.stdout.strip().splitlines()[-1]
        with zipfile.ZipFile(ARGS.archive) as z:
            cls.shipped = {n: z.read(n) for n in z.namelist()}

    def prefix(self, name):
        p = Prefix(ARGS.work, name)
        # A failed scenario keeps its prefix to look into; the next run starts it afresh.
        self.addCleanup(lambda: p.close(keep=not p.passed))
        return p

    def assert_installed_files(self, p):
        for name in SHIPPED:
            self.assertEqual(p.read(INSTALL + name), self.shipped[name], name)

    def test_install_use_version_up_and_uninstall(self):
        p = self.prefix("cycle")
        self.assertEqual(sorted(self.shipped), sorted(SHIPPED))
        readme = self.shipped["Readme.txt"]
        self.assertIn("アンインストール", readme.decode("cp932"))
        self.assertEqual(readme.count(b"\n"), readme.count(b"\r\n"))
        # The setup programs ask for administrator rights; the editor runs as whoever starts it.
        # All three draw at each screen's scale themselves.
        for program, level in (("install.exe", "requireAdministrator"), ("uninstall.exe", "requireAdministrator"),
                               ("tagzo.exe", "asInvoker")):
            path = os.path.join(p.root, program)
            with open(path, "wb") as f:
                f.write(self.shipped[program])
            seen = p.drive("resources", "z:" + path.replace("/", "\\"))
            self.assertIn(f'level="{level}"', seen["manifest"])
            self.assertIn(">PerMonitorV2, PerMonitor</dpiAwareness>", seen["manifest"])
            self.assertIn(">true/pm</dpiAware>", seen["manifest"])
            if program == "install.exe":
                self.assertEqual(seen["bitmap130"], "168x138x24")

        # A first installation, with the playback mode for slow machines. The start button
        # pressed again while the question is up starts nothing: the dialog takes no input then.
        archive = p.unpack("c:\\tagzo 0.29\\")
        seen = p.drive("install", archive + "install.exe", "--mode", "1", "--press-twice")
        self.assertEqual(seen["title"], "kessa ～ｲﾝｽﾄｰﾙ～")
        self.assertEqual((seen["button1"], seen["button2"], seen["folder"]), ("ｲﾝｽﾄｰﾙ開始", "ｷｬﾝｾﾙ", INSTALL))
        self.assertEqual(seen["control"], DIALOG_TEXTS + ["Button|ｲﾝｽﾄｰﾙ開始", "Button|ｷｬﾝｾﾙ"])
        self.assertEqual([seen["checked" + i] for i in ("1000", "1001", "1003", "1004")], ["1", "1", "1", "0"])
        self.assertEqual((seen["enabled1001"], seen["readonly1002"]), ("1", "1"))
        self.assertTrue(seen["picture"].startswith("shown in "), seen["picture"])
        # Centred on the desktop.
        left, top, right, bottom = map(int, seen["rect"].split(","))
        width, height = map(int, seen["desktop"].split(","))
        self.assertEqual((left, top), (width // 2 - (right - left) // 2, height // 2 - (bottom - top) // 2))
        self.assertEqual(seen["question"], "《kessa》をｲﾝｽﾄｰﾙします。よろしいですか？")
        self.assertEqual((seen["question_caption"], seen["question_owner"]), ("確認", "(none)"))
        self.assertEqual(seen["message"], DONE.format("ｲﾝｽﾄｰﾙ"))
        self.assertEqual((seen["message_caption"], seen["message_owner"]), ("確認", "kessa ～ｲﾝｽﾄｰﾙ～"))
        self.assertEqual(seen["enabled_while_asked"], "0")
        self.assertEqual(seen["exit"], "0")
        self.assert_installed_files(p)
        # The installer's call that lets the Users group change the install folder's files
        # (kt.dat) succeeds: read, write, run and delete, inherited by what is made in it. Wine
        # takes the entry but keeps only what the folder's Unix modes say, so the entry itself
        # is read back only where the system keeps it.
        seen = p.drive("access", INSTALL.rstrip("\\"), "--grant")
        self.assertEqual(seen["granted"], "1")
        users = [line for line in seen["users"].split("\\n") if line]
        if users:
            self.assertIn("allow 1301bf 3", users)
        self.assertEqual(p.default_value(".mp3"), "mp3_auto_file")
        self.assertEqual(p.default_value("mp3_auto_file\\shell\\" + VERB + "\\command"), INSTALL + "tagzo.exe /e %1")
        self.assertIsNone(p.default_value("mp3_auto_file\\shell\\" + VERB))  # the key name is the menu text
        # The name read back from the registry, not only found by the name asked for.
        self.assertEqual(p.subkeys("mp3_auto_file\\shell"), [VERB])
        self.assertEqual(p.read(INSTALL + "setup.dat"), b"\x01\x00\x00\x00")
        self.assertEqual(os.listdir(p.desktop), ["kessa.lnk"])
        self.assertEqual(p.drive("shortcut", "c:\\users\\" + os.path.basename(os.path.dirname(p.desktop)) +
                                 "\\Desktop\\kessa.lnk")["target"].lower(), (INSTALL + "tagzo.exe").lower())
        self.assertEqual(p.started_explorer(archive), "explorer " + INSTALL)

        # The right-click entry starts the installed editor with the file; its first start takes
        # the playback mode from setup.dat, and its settings file keeps it.
        os.makedirs(p.c("c:\\music"))
        with open(p.c("c:\\music\\my song.mp3"), "wb") as f:
            f.write(mp3(b"Verb song"))
        seen = p.drive("verb", "c:\\music\\my song.mp3")
        self.assertEqual(seen["image"].lower(), (INSTALL + "tagzo.exe").lower())
        self.assertEqual((seen["title"], seen["tag_title"], seen["file_name"]), ("kessa 0.29", "Verb song", "my song.mp3"))
        self.assertEqual(seen["exit"], "0")
        kt = p.read(INSTALL + "kt.dat")
        self.assertEqual(len(kt), 45964)
        self.assertEqual(kt[45944:45948], b"\x01\x00\x00\x00")

        # A new display name in the editor's options, then a version-up back to the default mode:
        # only the playback mode's 4 bytes of the settings file change.
        seen = p.drive("options", INSTALL + "tagzo.exe", "けっさ改")
        self.assertEqual((seen["old_name"], seen["title"], seen["exit"]), ("kessa", "けっさ改 0.29", "0"))

        # A version-up while the installed editor runs: its program file cannot be replaced, so
        # the copy fails and nothing further is written, no shortcut, no folder opened.
        before = p.read(INSTALL + "kt.dat")
        seen = p.drive("install", archive + "install.exe", "--mode", "0", "--editor", INSTALL + "tagzo.exe")
        self.assertEqual(seen["title"], "けっさ改 ～ﾊﾞｰｼﾞｮﾝｱｯﾌﾟ～")
        self.assertEqual((seen["message"], seen["exit"], seen["editor_exit"]), (COPY_FAILED, "0", "0"))
        self.assertEqual(p.read(INSTALL + "kt.dat")[45944:45948], b"\x01\x00\x00\x00")
        self.assertEqual(os.listdir(p.desktop), ["kessa.lnk"])
        self.assertIsNone(p.started_explorer(archive, wait=3))
        self.assert_installed_files(p)

        # The version-up proper, with a help file in the archive's folder: it is copied too.
        with open(p.c(archive + "tagzo.hlp"), "wb") as f:
            f.write(b"help\x00\x5c\xff")
        before = p.read(INSTALL + "kt.dat")
        seen = p.drive("install", archive + "install.exe", "--mode", "0")
        self.assertEqual(seen["title"], "けっさ改 ～ﾊﾞｰｼﾞｮﾝｱｯﾌﾟ～")
        self.assertEqual(seen["button1"], "ﾊﾞｰｼﾞｮﾝｱｯﾌﾟを行う")
        self.assertEqual([seen["checked" + i] for i in ("1003", "1004")], ["0", "1"])
        self.assertEqual(seen["question"], "《けっさ改》のﾊﾞｰｼﾞｮﾝｱｯﾌﾟを行います。よろしいですか？")
        self.assertEqual(seen["message"], DONE.format("ﾊﾞｰｼﾞｮﾝｱｯﾌﾟ"))
        after = p.read(INSTALL + "kt.dat")
        self.assertEqual(len(after), len(before))
        self.assertEqual(after[45944:45948], b"\x00\x00\x00\x00")
        self.assertEqual(after[:45944] + after[45948:], before[:45944] + before[45948:])
        self.assertEqual(sorted(os.listdir(p.desktop)), ["kessa.lnk", "けっさ改.lnk"])
        self.assertEqual(p.started_explorer(archive), "explorer " + INSTALL)
        self.assert_installed_files(p)
        self.assertEqual(p.read(INSTALL + "tagzo.hlp"), b"help\x00\x5c\xff")

        # Run from the install folder itself: nothing is copied and no shortcut made, the mode
        # is still recorded.
        with open(p.c(INSTALL + "Readme.txt"), "wb") as f:
            f.write(b"kept")
        shutil.copy(ARGS.stand_in, p.c(INSTALL + "explorer.exe"))
        seen = p.drive("install", INSTALL + "install.exe", "--mode", "1")
        self.assertEqual(seen["message"], [SAME_FOLDER, "ｾｯﾄｱｯﾌﾟを完了しました"])
        self.assertEqual(seen["message_owner"], ["(none)", "けっさ改 ～ﾊﾞｰｼﾞｮﾝｱｯﾌﾟ～"])
        self.assertEqual(p.read(INSTALL + "Readme.txt"), b"kept")
        self.assertEqual(p.read(INSTALL + "kt.dat")[45944:45948], b"\x01\x00\x00\x00")
        self.assertEqual(len(os.listdir(p.desktop)), 2)
        self.assertEqual(p.started_explorer(INSTALL), "explorer " + INSTALL)
        os.unlink(p.c(INSTALL + "explorer.exe"))

        # Uninstall: "No" changes nothing but leaves the temporary copy.
        before = p.snapshot(present=(".mp3", "mp3_auto_file"))
        seen = p.drive("uninstall", INSTALL + "uninstall.exe", "--answer", "no")
        self.assertEqual(seen["started_exit"], "0")
        self.assertEqual(seen["phase2"].lower(), "c:\\windows\\temp\\uninstall2.exe")
        self.assertEqual(seen["question"], "《けっさ改》をｱﾝｲﾝｽﾄｰﾙします。よろしいですか？")
        self.assertEqual((seen["question_caption"], seen["question_owner"], seen["phase2_exit"]), ("確認", "(none)", "0"))
        self.assertEqual(p.snapshot(), before)
        self.assertEqual(p.read("c:\\windows\\temp\\uninstall2.exe"), self.shipped["uninstall.exe"])

        # "Yes": the program files and the entry go; setup.dat keeps the folder, and the class,
        # its shell key, the binding of .mp3 and the shortcuts stay.
        seen = p.drive("uninstall", INSTALL + "uninstall.exe", "--answer", "yes")
        self.assertEqual((seen["message"], seen["message_caption"], seen["message_owner"]), (REMOVED, "ｱﾝｲｽﾄｰﾙ完了", "(none)"))
        self.assertEqual(seen["phase2_exit"], "0")
        self.assertEqual(os.listdir(p.c(INSTALL)), ["setup.dat"])
        self.assertFalse(p.has_key("mp3_auto_file\\shell\\" + VERB))
        self.assertTrue(p.has_key("mp3_auto_file\\shell"))
        self.assertEqual(p.default_value(".mp3"), "mp3_auto_file")
        self.assertEqual(len(os.listdir(p.desktop)), 2)

        # The temporary copy started by itself runs the second phase at once; without setup.dat
        # the emptied folder goes too. ".mp3" without a class by then gets "mp3_auto_file"
        # again, and the entry below that class goes.
        os.unlink(p.c(INSTALL + "setup.dat"))
        self.assertEqual(p.reg("add", "HKCR\\mp3_auto_file\\shell\\" + VERB + "\\command", "/ve", "/d", "x", "/f"), 0)
        self.assertEqual(p.reg("delete", "HKCR\\.mp3", "/ve", "/f"), 0)
        self.assertIsNone(p.default_value(".mp3"))
        self.assertTrue(p.has_key(".mp3"))
        seen = p.drive("uninstall", "c:\\windows\\temp\\uninstall2.exe", "--answer", "yes")
        self.assertEqual((seen["started_exit"], seen["question"]), ("-2", "《けっさ》をｱﾝｲﾝｽﾄｰﾙします。よろしいですか？"))
        self.assertEqual(seen["message"], REMOVED)
        self.assertEqual(p.default_value(".mp3"), "mp3_auto_file")
        self.assertFalse(p.has_key("mp3_auto_file\\shell\\" + VERB))
        self.assertTrue(p.has_key("mp3_auto_file\\shell"))
        self.assertFalse(os.path.exists(p.c(INSTALL)))
        self.assertTrue(os.path.isdir(p.c("c:\\Program Files\\Accessories")))
        p.passed = True

    def test_refusals_failures_and_other_bindings(self):
        p = self.prefix("other")
        archive = p.unpack("c:\\archive\\")

        # Cancel, and "No" at the question, change nothing: not the binding of ".mp3" (a fresh
        # prefix has none, so one is made) nor its class.
        self.assertEqual(p.reg("add", "HKCR\\.mp3", "/ve", "/d", "WMP.mp3file", "/f"), 0)
        before = p.snapshot()
        seen = p.drive("install", archive + "install.exe", "--answer", "cancel")
        self.assertEqual(seen["exit"], "0")
        seen = p.drive("install", archive + "install.exe", "--answer", "no")
        self.assertEqual((seen["dialog_open"], seen["exit"]), ("1", "0"))
        self.assertEqual(p.snapshot(), before)
        self.assertIsNone(p.started_explorer(archive, wait=3))

        # A file missing from the archive: the failure message, the files before it stay, and
        # nothing further is written.
        partial = p.unpack("c:\\partial\\", leave_out=("vbmp3.dll",))
        seen = p.drive("install", partial + "install.exe")
        self.assertEqual((seen["message"], seen["message_owner"], seen["exit"]), (COPY_FAILED, "(none)", "0"))
        self.assertEqual(sorted(os.listdir(p.c(INSTALL))), sorted(SHIPPED[:4]))
        self.assertEqual(p.snapshot()[1], before[1])
        self.assertEqual(os.listdir(p.desktop), [])
        self.assertIsNone(p.started_explorer(partial, wait=3))

        # The right-click box unchecked: ".mp3" and the classes stay as they are, no entry.
        seen = p.drive("install", archive + "install.exe", "--no-menu", "--no-shortcut", "--mode", "1")
        self.assertEqual((seen["message"], seen["exit"]), (DONE.format("ｲﾝｽﾄｰﾙ"), "0"))
        self.assertEqual(p.snapshot()[1], before[1])
        self.assertEqual(p.read(INSTALL + "setup.dat"), b"\x01\x00\x00\x00")
        self.assert_installed_files(p)
        self.assertEqual(p.started_explorer(archive), "explorer " + INSTALL)

        # ".mp3" bound to a class whose entry key would not fit: the class stays, no entry.
        long_class = "c" * 5000
        self.assertEqual(p.reg("add", "HKCR\\.mp3", "/ve", "/d", long_class, "/f"), 0)
        seen = p.drive("install", archive + "install.exe", "--no-shortcut")
        self.assertEqual(seen["message"], DONE.format("ｲﾝｽﾄｰﾙ"))
        self.assertEqual(p.default_value(".mp3"), long_class)
        self.assertFalse(p.has_key("mp3_auto_file"))
        self.assertEqual(p.read(INSTALL + "setup.dat"), b"\x00\x00\x00\x00")
        self.assert_installed_files(p)
        self.assertEqual(p.started_explorer(archive), "explorer " + INSTALL)

        # ".mp3" holding a value that is no text: it is left as it is, and no entry is made.
        self.assertEqual(p.reg("add", "HKCR\\.mp3", "/ve", "/t", "REG_BINARY", "/d", "0102", "/f"), 0)
        seen = p.drive("install", archive + "install.exe", "--no-shortcut")
        self.assertEqual(seen["message"], DONE.format("ｲﾝｽﾄｰﾙ"))
        self.assertEqual([lines for below, lines in p.sections(p.export(".mp3") or "", ".mp3") if below == ""],
                         [["@=hex:01,02"]])
        self.assertFalse(p.has_key("mp3_auto_file"))
        self.assertEqual(p.started_explorer(archive), "explorer " + INSTALL)

        # ".mp3" bound to another program's class: the entry goes under it, the class stays.
        self.assertEqual(p.reg("add", "HKCR\\.mp3", "/ve", "/d", "WMP.mp3file", "/f"), 0)
        seen = p.drive("install", archive + "install.exe", "--no-shortcut", "--mode", "1")
        self.assertEqual(p.default_value(".mp3"), "WMP.mp3file")
        self.assertEqual(p.default_value("WMP.mp3file\\shell\\" + VERB + "\\command"), INSTALL + "tagzo.exe /e %1")
        self.assertEqual(p.subkeys("WMP.mp3file\\shell"), [VERB])
        self.assertFalse(p.has_key("mp3_auto_file"))
        self.assertEqual(p.read(INSTALL + "setup.dat"), b"\x01\x00\x00\x00")
        self.assertEqual(os.listdir(p.desktop), [])
        self.assertEqual(p.started_explorer(archive), "explorer " + INSTALL)

        # A kt.dat too short to hold the playback mode: version-up mode with the default name,
        # and the file stays as it is.
        short = bytes(range(256)) * 7 + bytes(208)
        with open(p.c(INSTALL + "kt.dat"), "wb") as f:
            f.write(short)
        seen = p.drive("install", archive + "install.exe", "--mode", "0", "--no-shortcut")
        self.assertEqual(seen["title"], "kessa ～ﾊﾞｰｼﾞｮﾝｱｯﾌﾟ～")
        self.assertEqual(seen["message"], DONE.format("ﾊﾞｰｼﾞｮﾝｱｯﾌﾟ"))
        self.assertEqual(p.read(INSTALL + "kt.dat"), short)

        # A display name that names a path: the shortcut lies on the desktop all the same, its
        # backslash replaced by the full-width one.
        named = bytearray(45964)
        named[16208:16212] = b"..\\x"
        with open(p.c(INSTALL + "kt.dat"), "wb") as f:
            f.write(named)
        seen = p.drive("install", archive + "install.exe", "--mode", "0")
        self.assertEqual(seen["title"], "..\\x ～ﾊﾞｰｼﾞｮﾝｱｯﾌﾟ～")
        self.assertEqual(os.listdir(p.desktop), ["..\uff3cx.lnk"])
        self.assertEqual([n for n in os.listdir(os.path.dirname(p.desktop)) if n.endswith(".lnk")], [])
        user = os.path.basename(os.path.dirname(p.desktop))
        self.assertEqual(p.drive("shortcut", "c:\\users\\" + user + "\\Desktop\\..\uff3cx.lnk")["target"].lower(),
                         (INSTALL + "tagzo.exe").lower())
        self.assertEqual(p.started_explorer(archive), "explorer " + INSTALL)

        # A settings file holding playback mode 2, and an archive folder whose name ends in a
        # character whose second byte is a backslash in cp932: neither radio button is checked,
        # 2 is written back, and the files come from that folder.
        other = p.unpack("c:\\xfer \u8868\\")
        with open(p.c(other + "tagzo.exe"), "ab") as f:
            f.write(b"from the other folder")
        two = bytearray(bytes(range(256)) * 179 + bytes(140))
        two[16208:16213] = b"two\x00\x00"
        two[45944:45948] = b"\x02\x00\x00\x00"
        with open(p.c(INSTALL + "kt.dat"), "wb") as f:
            f.write(two)
        seen = p.drive("install", other + "install.exe", "--no-shortcut")
        self.assertEqual(seen["title"], "two ～ﾊﾞｰｼﾞｮﾝｱｯﾌﾟ～")
        self.assertEqual([seen["checked" + i] for i in ("1003", "1004")], ["0", "0"])
        self.assertEqual(seen["message"], DONE.format("ﾊﾞｰｼﾞｮﾝｱｯﾌﾟ"))
        self.assertEqual(p.read(INSTALL + "kt.dat"), bytes(two))
        self.assertEqual(p.read(INSTALL + "tagzo.exe"), self.shipped["tagzo.exe"] + b"from the other folder")
        self.assertEqual(p.started_explorer(other), "explorer " + INSTALL)

        # A read-only settings file (the Windows attribute, which Wine keeps as the file's mode
        # 0444): the playback mode is not recorded, silently, and the file stays as it is.
        def read_only(name, on):
            self.assertEqual(p.run("attrib", "+r" if on else "-r", INSTALL + name)[0], 0)
            self.assertEqual(os.stat(p.c(INSTALL + name)).st_mode & 0o222 == 0, on)

        read_only("kt.dat", True)
        seen = p.drive("install", archive + "install.exe", "--no-shortcut", "--mode", "1")
        self.assertEqual(seen["message"], DONE.format("ﾊﾞｰｼﾞｮﾝｱｯﾌﾟ"))
        self.assertEqual(p.read(INSTALL + "kt.dat"), bytes(two))
        self.assertEqual(p.started_explorer(archive), "explorer " + INSTALL)
        read_only("kt.dat", False)

        # Run from the install folder in install mode: the same-folder message, nothing copied,
        # setup.dat written, no shortcut. A read-only setup.dat is then left as it is.
        os.unlink(p.c(INSTALL + "kt.dat"))
        shutil.copy(ARGS.stand_in, p.c(INSTALL + "explorer.exe"))
        seen = p.drive("install", INSTALL + "install.exe", "--mode", "1")
        self.assertEqual(seen["title"], "kessa ～ｲﾝｽﾄｰﾙ～")
        self.assertEqual(seen["message"], [SAME_FOLDER, "ｾｯﾄｱｯﾌﾟを完了しました"])
        self.assertEqual(seen["message_owner"], ["(none)", "kessa ～ｲﾝｽﾄｰﾙ～"])
        self.assertEqual(p.read(INSTALL + "setup.dat"), b"\x01\x00\x00\x00")
        self.assertEqual(os.listdir(p.desktop), ["..\uff3cx.lnk"])
        self.assertEqual(p.started_explorer(INSTALL), "explorer " + INSTALL)
        read_only("setup.dat", True)
        seen = p.drive("install", archive + "install.exe", "--no-shortcut", "--mode", "0")
        self.assertEqual(seen["message"], DONE.format("ｲﾝｽﾄｰﾙ"))
        self.assertEqual(p.read(INSTALL + "setup.dat"), b"\x01\x00\x00\x00")
        self.assertEqual(p.started_explorer(archive), "explorer " + INSTALL)
        read_only("setup.dat", False)
        os.unlink(p.c(INSTALL + "explorer.exe"))

        # Uninstall removes the entry under the class it was put under.
        seen = p.drive("uninstall", INSTALL + "uninstall.exe", "--answer", "yes")
        self.assertEqual(seen["message"], REMOVED)
        self.assertFalse(p.has_key("WMP.mp3file\\shell\\" + VERB))
        self.assertTrue(p.has_key("WMP.mp3file\\shell"))
        self.assertEqual(os.listdir(p.c(INSTALL)), ["setup.dat"])

        # Started from a folder that sorts after the temporary folder, the uninstaller runs the
        # second phase itself and removes the install folder's files all the same.
        named = bytearray(45964)
        named[16208:16212] = b"ren\x00"
        with open(p.c(INSTALL + "kt.dat"), "wb") as f:
            f.write(named)
        shutil.copy(p.c(other + "tagzo.exe"), p.c(INSTALL + "tagzo.exe"))
        seen = p.drive("uninstall", other + "uninstall.exe", "--answer", "yes")
        self.assertEqual(seen["started_exit"], "-2")
        self.assertEqual(seen["phase2"].lower(), (other + "uninstall.exe").lower())
        self.assertEqual(seen["question"], "《ren》をｱﾝｲﾝｽﾄｰﾙします。よろしいですか？")
        self.assertEqual((seen["message"], seen["phase2_exit"]), (REMOVED, "0"))
        self.assertEqual(os.listdir(p.c(INSTALL)), ["setup.dat"])
        self.assertEqual(p.read(other + "uninstall.exe"), self.shipped["uninstall.exe"])
        p.passed = True


def main():
    global ARGS
    ap = argparse.ArgumentParser()
    for a in ("--wine", "--driver", "--stand-in", "--build", "--work"):
        ap.add_argument(a, required=True)
    ap.add_argument("--dist", default=os.path.join(os.path.dirname(__file__), "..", "..", "..", "tools", "dist.sh"))
    ARGS, rest = ap.parse_known_args()
    ARGS.build = os.path.abspath(ARGS.build)
    # The booted prefix of this build for the runner's locale.
    ARGS.prefix = subprocess.run([ARGS.wine, "--prefix", ARGS.driver], env=dict(os.environ, TAGZO_WINE_BUILD=ARGS.build),
                                 capture_output=True, text=True, check=True).stdout.strip()
    os.makedirs(ARGS.work, exist_ok=True)
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
