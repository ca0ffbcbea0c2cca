#!/usr/bin/env python3
"""The dependency installer's decisions, with apt-get, dpkg and dpkg-query replaced by stand-ins.

No network and no root: the stand-ins keep a list of installed packages in a folder, log every
call, and fail the way a package mirror in the middle of a sync fails (an index of the wrong
size, a package whose dependencies cannot be had).

    test_install_deps.py SOURCE_ROOT
"""
import os
import stat
import subprocess
import sys
import tempfile
import unittest

ROOT = sys.argv.pop(1) if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "../..")
SCRIPT = os.path.join(ROOT, "tools", "install-deps.sh")

STAND_INS = {
    # Installed packages live in $STATE/installed, one a line; every call is logged.
    "dpkg-query": r'''#!/bin/bash
p=${@: -1}
grep -qxF "$p" "$STATE/installed" && printf 'install ok installed'
exit 0
''',
    "dpkg": r'''#!/bin/bash
echo "dpkg $*" >>"$STATE/log"
[[ $1 == --print-foreign-architectures ]] && cat "$STATE/arches" 2>/dev/null
[[ $1 == --add-architecture ]] && echo "$2" >>"$STATE/arches"
exit 0
''',
    "apt-get": r'''#!/bin/bash
echo "apt-get $*" >>"$STATE/log"
if [[ $1 == update ]]; then
  n=$(($(cat "$STATE/updates" 2>/dev/null || echo 0) + 1)); echo $n >"$STATE/updates"
  if ((n <= ${UPDATE_FAILS:-0})); then
    echo "E: Failed to fetch http://deb.example/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress? [IP: 127.0.0.1 80]" >&2
    exit 100
  fi
  exit 0
fi
pkgs=(); for a in "$@"; do [[ $a == -* || $a == install ]] || pkgs+=("$a"); done
for p in "${pkgs[@]}"; do
  if [[ " $BROKEN " == *" $p "* ]]; then
    echo "Some packages could not be installed." >&2
    echo " $p : Depends: zlib1g:i386 (>= 1:1.1.4) but it is not going to be installed" >&2
    echo "E: Unable to correct problems, you have held broken packages." >&2
    exit 100
  fi
done
printf '%s\n' "${pkgs[@]}" >>"$STATE/installed"
''',
    "id": '#!/bin/sh\necho "${AS_UID:-0}"\n',
    "locale": '#!/bin/sh\nprintf "C.utf8\\nen_US.utf8\\nja_JP.utf8\\n"\n',
}


def packages(kind):
    """The script's own list of required or optional packages."""
    text = open(SCRIPT, encoding="utf-8").read()
    body = text.split(kind + "=(", 1)[1].split(")", 1)[0]
    return body.split()


class InstallDeps(unittest.TestCase):
    def run_script(self, installed=(), **env):
        self.state = tempfile.mkdtemp(prefix="install-deps-")
        bin_dir = os.path.join(self.state, "bin")
        os.mkdir(bin_dir)
        for name, body in STAND_INS.items():
            path = os.path.join(bin_dir, name)
            with open(path, "w") as f:
                f.write(body)
            os.chmod(path, stat.S_IRWXU)
        with open(os.path.join(self.state, "installed"), "w") as f:
            f.write("".join(p + "\n" for p in installed))
        open(os.path.join(self.state, "log"), "w").close()
        full = dict(os.environ, PATH=bin_dir + ":" + os.environ["PATH"], STATE=self.state,
                    TAGZO_APT_PAUSE="0", LC_ALL="C")
        full.update(env)
        r = subprocess.run(["bash", SCRIPT], env=full, capture_output=True, text=True, timeout=60)
        self.out = r.stdout + r.stderr
        with open(os.path.join(self.state, "log")) as f:
            self.log = f.read().splitlines()
        with open(os.path.join(self.state, "installed")) as f:
            self.installed = set(f.read().split())
        return r.returncode

    def installs(self):
        return [[a for a in line.split()[2:] if not a.startswith("-")]
                for line in self.log if line.startswith("apt-get install")]

    def test_update_retried_and_wine32_alone(self):
        # The mirror fails twice, then answers; the kernel runs 32-bit programs, but wine32's
        # i386 libraries cannot be had: everything else is installed, and one line says so.
        rc = self.run_script(UPDATE_FAILS="2", BROKEN="wine32:i386", TAGZO_KERNEL_RUNS_32="yes")
        self.assertEqual(rc, 0, self.out)
        self.assertEqual(sum(l.startswith("apt-get update") for l in self.log), 3)
        self.assertEqual(self.out.count("apt-get update failed (try"), 2, self.out)
        self.assertIn("dpkg --add-architecture i386", self.log)
        self.assertEqual(self.installs()[-1], ["wine32:i386"])
        self.assertNotIn("wine32:i386", self.installs()[0])
        self.assertLessEqual(set(packages("required") + packages("optional")), self.installed)
        warning = [l for l in self.out.splitlines() if "wine32:i386 cannot be installed" in l]
        self.assertEqual(len(warning), 1, self.out)
        self.assertIn("64-bit build", warning[0])
        self.assertIn("Depends: zlib1g:i386", warning[0])
        self.assertIn("everything is in place", self.out)

    def test_update_that_always_fails_is_a_warning(self):
        # Without 32-bit programs wine32 is neither wanted nor is i386 added.
        rc = self.run_script(UPDATE_FAILS="9", TAGZO_KERNEL_RUNS_32="no")
        self.assertEqual(rc, 0, self.out)
        self.assertEqual(sum(l.startswith("apt-get update") for l in self.log), 3)
        self.assertIn("warning: apt-get update failed 3 times", self.out)
        self.assertIn("Mirror sync in progress?", self.out)
        self.assertFalse(any("--add-architecture" in l for l in self.log))
        self.assertFalse(any("wine32" in p for i in self.installs() for p in i))
        self.assertIn("wine32 is not wanted: the kernel refuses 32-bit programs", self.out)

    def test_optional_and_required_failures(self):
        # An optional package that fails is a warning; the rest still comes in.
        rc = self.run_script(BROKEN="kid3-cli", TAGZO_KERNEL_RUNS_32="no")
        self.assertEqual(rc, 0, self.out)
        self.assertIn("warning: the optional package kid3-cli cannot be installed", self.out)
        self.assertLessEqual(set(packages("required")), self.installed)
        self.assertLessEqual(set(packages("optional")) - {"kid3-cli"}, self.installed)
        self.assertIn("missing, so their cross-checks skip: kid3-cli", self.out)
        # A required one ends the script with its name and apt's reason, after the rest.
        rc = self.run_script(BROKEN="wine64", TAGZO_KERNEL_RUNS_32="no")
        self.assertEqual(rc, 1, self.out)
        self.assertIn("the required package wine64 cannot be installed", self.out)
        self.assertIn("wine64 : Depends: zlib1g:i386", self.out)
        self.assertIn("cannot go on without wine64", self.out)
        self.assertLessEqual(set(packages("required") + packages("optional")) - {"wine64"}, self.installed)

    def test_nothing_missing_and_not_root(self):
        everything = packages("required") + packages("optional") + ["wine32:i386"]
        self.assertEqual(self.run_script(everything, TAGZO_KERNEL_RUNS_32="yes"), 0, self.out)
        self.assertEqual(self.log, [])
        # An ordinary user is told what is missing; the required ones end the script.
        self.assertEqual(self.run_script(AS_UID="1000", TAGZO_KERNEL_RUNS_32="no"), 1)
        self.assertIn("run this script as root", self.out)
        self.assertEqual(self.log, [])
        self.assertEqual(self.run_script(packages("required"), AS_UID="1000",
                                         TAGZO_KERNEL_RUNS_32="no"), 0, self.out)
        self.assertIn("going on without the optional ones", self.out)


if __name__ == "__main__":
    unittest.main()
