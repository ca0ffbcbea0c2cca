"""What the tests of tagzo-cli share: the files they make, the program run natively or under
Wine, and the test base with its temporary folder. ARGS is set by test_cli.py."""
import json
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest

ARGS = None


def record(title=b"", artist=b"", album=b"", year=b"", comment=b"", genre=255, pad=b" "):
    def field(t, w):
        return t[:w] + pad * (w - len(t[:w]))
    return b"TAG" + field(title, 30) + field(artist, 30) + field(album, 30) + field(year, 4) + \
        field(comment, 30) + bytes([genre])


def frames(n=40):
    # MPEG-1 layer III, 128 kbit/s, 44.1 kHz frames of 417 bytes (no padding), silent payload.
    return (b"\xFF\xFB\x90\x64" + bytes(413)) * n


def chunk(cid, data):
    c = cid + struct.pack("<I", len(data)) + data
    return c + (b"\0" if len(data) % 2 else b"")


def rmp_image(stream, subchunks):
    data = chunk(b"data", stream)
    lst = b"LIST" + struct.pack("<I", 4 + len(subchunks)) + b"INFO" + subchunks
    body = b"RMP3" + data + lst
    return b"RIFF" + struct.pack("<I", len(body)) + body


class Cli:
    def __init__(self, exe, wine):
        self.exe, self.wine = os.path.abspath(exe), wine and os.path.abspath(wine)
        # Under Wine the output is in the ANSI code page, which Wine takes from the locale.
        western = os.environ.get("TAGZO_WINE_LOCALE", "").startswith("en_")
        self.encoding = ("cp1252" if western else "cp932") if wine else "utf-8"

    def command(self, *args):
        """The command line that runs tagzo-cli with `args`, under Wine where the tests use it."""
        return ([self.wine] if self.wine else []) + [self.exe] + list(args)

    def run(self, *args, cwd, input=None, out_encoding=None):
        """`input` (bytes) goes to standard input; JSON output is UTF-8 on every system
        (out_encoding="utf-8"), other output is in the console's encoding."""
        cmd = self.command(*args)
        # Output through files, not pipes: Wine's service processes inherit the handles and
        # would keep a pipe open for seconds after the program has ended.
        for attempt in (1, 2):
            with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err, tempfile.TemporaryFile() as inp:
                inp.write(input or b"")
                inp.seek(0)
                try:
                    code = subprocess.run(cmd, cwd=cwd, stdin=inp if input is not None else subprocess.DEVNULL,
                                          stdout=out, stderr=err, timeout=self.hang_limit(attempt)).returncode
                except subprocess.TimeoutExpired:
                    if not self.wine or attempt == 2:
                        raise
                    self.say_hung(args)
                    continue
                out.seek(0)
                err.seek(0)
                result = (code, out.read().decode(out_encoding or self.encoding, "replace"),
                          err.read().decode(self.encoding, "replace"))
            if not self.wine_lost_it(code, result[2]) or attempt == 2:
                return result

    def hang_limit(self, attempt):
        """Seconds a run may take. Now and then a program under Wine never starts: its loader
        waits on the Wine server for good. A first run under Wine that hangs is killed at 120 s
        and made again (none takes more than a few seconds); a second one has 300 s."""
        return 120 if self.wine and attempt == 1 else 300

    def say_hung(self, args):
        sys.stderr.write(f"note: Wine did not end {' '.join(args)} in 120 s; it was killed and is run again\n")

    def finish(self, run, args):
        """The status and stderr of a started run. Under Wine one that hangs is killed at 120 s and
        given as lost (status 1 and nothing on stderr), which wine_lost_it makes the caller run again."""
        try:
            err = run.communicate(timeout=self.hang_limit(1))[1]
            return run.returncode, err
        except subprocess.TimeoutExpired:
            if not self.wine:
                raise
            run.kill()
            try:
                run.communicate(timeout=30)
            except subprocess.TimeoutExpired:  # Wine's service processes still hold the pipe
                run.wait()
            self.say_hung(args)
            return 1, b""

    def together(self, commands, cwd):
        """Starts a run of each of `commands` at once; gives each one's status and stderr when all
        have ended, a run that Wine lost (see wine_lost_it) made again alone."""
        runs = [subprocess.Popen(self.command(*args), cwd=cwd, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                 stderr=subprocess.PIPE) for args in commands]
        ended = [self.finish(r, args) for r, args in zip(runs, commands)]
        result = []
        for (code, err), args in zip(ended, commands):
            err = err.decode(self.encoding, "replace")
            result.append(self.run(*args, cwd=cwd)[::2] if self.wine_lost_it(code, err) else (code, err))
        return result

    def wine_lost_it(self, code, err):
        """Under load, Wine now and then ends a program with status 1 before it has said a word;
        tagzo-cli names every failure of its own on stderr. A run that failed with nothing but
        Wine's own words on stderr (its client losing the server: "wine client error:...") was
        lost the same way. Such a run is said and made again."""
        if not self.wine or code == 0:
            return False
        wine_only = err and all(line.startswith(("wine client error", "wine: ")) for line in err.splitlines())
        if not (code == 1 and not err) and not wine_only:
            return False
        sys.stderr.write(f"note: Wine lost a run (status {code}, stderr {err.strip()!r}); it is run again\n")
        return True


class CliTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="tagzo-cli-")
        self.cli = Cli(ARGS.cli, ARGS.wine)

    def tearDown(self):
        for root, dirs, files in os.walk(self.dir):
            for n in dirs:
                os.chmod(os.path.join(root, n), 0o755)
            for n in files:
                if not os.path.islink(os.path.join(root, n)):
                    os.chmod(os.path.join(root, n), 0o644)
        shutil.rmtree(self.dir)

    def make(self, name, content):
        with open(os.path.join(self.dir, name), "wb") as f:
            f.write(content)
        return name

    def read(self, name):
        with open(os.path.join(self.dir, name), "rb") as f:
            return f.read()

    def shown(self, text):
        """A text as the output that is not JSON shows it: under Wine in the ANSI code page,
        where a character it has no form for becomes "?"."""
        return text.encode(self.cli.encoding, "replace").decode(self.cli.encoding)

    def run_cli(self, *args, **kw):
        return self.cli.run(*args, cwd=self.dir, **kw)

    def expect(self, status, *args, **kw):
        """Runs tagzo-cli and checks its exit status (stderr is the message); gives stdout and stderr."""
        code, out, err = self.run_cli(*args, **kw)
        self.assertEqual(code, status, err)
        return out, err

    def quiet(self, *args, **kw):
        """Runs tagzo-cli and checks that it ended well with nothing on stderr; gives stdout."""
        out, err = self.expect(0, *args, **kw)
        self.assertEqual(err, "")
        return out

    def show(self, *names):
        code, out, err = self.run_cli("show", "--json", *names, out_encoding="utf-8")
        objs = [json.loads(line) for line in out.splitlines()]
        return code, objs, err

    def listing(self, leave_out=()):
        """Every file under the test's folder with its content, by relative path ("/"), but those
        named in `leave_out`."""
        got = {}
        for root, _, files in os.walk(self.dir):
            for n in files:
                p = os.path.join(root, n)
                with open(p, "rb") as f:
                    got[os.path.relpath(p, self.dir).replace(os.sep, "/")] = f.read()
        return {n: d for n, d in got.items() if n not in leave_out}



def tool(name):
    return shutil.which(name)


def from_exiftool(text):
    """exiftool reads RIFF texts as cp1252 and knows no Japanese set: undo that, then read cp932."""
    raw = bytearray()
    for ch in str(text):
        try:
            raw += ch.encode("cp1252")
        except UnicodeEncodeError:
            raw.append(ord(ch))  # the five bytes cp1252 leaves undefined come through as they are
    return raw.decode("cp932")


def syncsafe(n):
    return bytes([(n >> 21) & 0x7F, (n >> 14) & 0x7F, (n >> 7) & 0x7F, n & 0x7F])


def f23(fid, body, flags=0):
    """An ID3v2.3 frame."""
    return fid + struct.pack(">IH", len(body), flags) + body


def id3v23(frames_, padding=0):
    """An ID3v2.3 tag of those frames (and that many bytes of padding), header first."""
    return b"ID3\x03\x00\x00" + syncsafe(len(frames_) + padding) + frames_ + bytes(padding)


def id3v2_size(data):
    """The size of the ID3v2 tag at the start of `data`, header included (0 without one)."""
    if data[:3] != b"ID3":
        return 0
    s = data[6:10]
    return 10 + (s[0] << 21 | s[1] << 14 | s[2] << 7 | s[3])
