#!/usr/bin/env bash
# Makes the distribution archive from a Windows build:
#   tools/dist.sh [BUILD]   BUILD is a build folder: a path, or a name under build/ such as
#                           windows64; without it build/windows, the 32-bit product
# The archive holds, flat and in this order, tagzo.exe, Readme.txt, install.exe, uninstall.exe
# and vbmp3.dll: the installer copies them from the folder it is started in. The programs come
# from BUILD/bin; Readme.txt is dist/Readme.txt (UTF-8 with LF in the repository, so it diffs
# well) in code page 932 with CRLF line ends, the way Japanese Windows reads a text file.
# A 32-bit build gives build/dist/tagzo-VERSION.zip and a 64-bit one
# build/dist/tagzo-VERSION-x64.zip, so the two never overwrite each other; the machine is read
# from the programs' PE headers, not from the folder's name. Needs only python3 (zipfile).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

fail() { echo "dist: $*" >&2; exit 1; }

# The version is the one the editor shows in its title, so the two cannot drift apart.
version=$(sed -n 's/.*version = "\([^"]*\)".*/\1/p' "$root/win32/editor/texts.h" | head -n 1)
[[ -n $version ]] || fail "no version text found in win32/editor/texts.h"

arg=${1:-build/windows}
if [[ -d $arg ]]; then
  build=$(cd "$arg" && pwd)
elif [[ -d $root/$arg ]]; then
  build=$(cd "$root/$arg" && pwd)
elif [[ -d $root/build/$arg ]]; then
  build=$(cd "$root/build/$arg" && pwd)
else
  fail "no build folder $arg (give a path, or a name under $root/build such as windows64)"
fi

# How to make a missing program: by its preset when BUILD is one of the project's build folders.
build_hint() {
  local name
  name=$(basename "$build")
  if [[ $build == "$root/build/$name" ]] && grep -q "\"name\": \"$name\"" "$root/CMakePresets.json"; then
    if [[ -f $build/CMakeCache.txt ]]; then
      echo "cmake --build --preset $name"
    else
      echo "cmake --preset $name && cmake --build --preset $name"
    fi
  else
    echo "cmake --build $build"
  fi
}

source "$root/tools/pe-machine.sh"

programs=(tagzo.exe install.exe uninstall.exe vbmp3.dll)
machine=
for p in "${programs[@]}"; do
  f=$build/bin/$p
  [[ -f $f ]] || fail "$f is missing; build it with: $(build_hint)"
  m=$(pe_machine "$f")
  [[ -n $m ]] || fail "$f is no Windows program (no i386 or x86_64 PE header)"
  # One archive is one machine: a folder that mixes them was not made by one build.
  [[ -z $machine || $m == "$machine" ]] || fail "$f is $m, but ${programs[0]} is $machine"
  machine=$m
done

readme=$root/dist/Readme.txt
[[ -f $readme ]] || fail "$readme is missing"

suffix=
[[ $machine == x86_64 ]] && suffix=-x64
archive=$root/build/dist/tagzo-$version$suffix.zip
mkdir -p "$(dirname "$archive")"

# Written beside the archive and moved into place, so a failure never leaves half an archive.
tmp=$(mktemp "$archive.XXXXXX")
trap 'rm -f "$tmp"' EXIT
python3 - "$tmp" "$readme" "$build/bin" <<'PY'
import os, sys, time, zipfile

out, readme, bin_dir = sys.argv[1:4]
with open(readme, "rb") as f:
    raw = f.read()
try:
    text = raw.decode("utf-8")
except UnicodeDecodeError as e:
    sys.exit(f"dist: {readme} is not UTF-8: {e}")
if text.startswith("\ufeff"):
    sys.exit(f"dist: {readme} starts with a byte order mark; keep it plain UTF-8")
if "\r" in text:
    sys.exit(f"dist: {readme} holds CR characters; keep it with LF line ends (the archive gets CRLF)")
# A character without a code page 932 form stops the archive, and so does one that comes back
# as another (the codec writes U+301C WAVE DASH as the bytes of U+FF5E): both are named.
def bad_char(pos, why):
    line = text.count("\n", 0, pos) + 1
    sys.exit(f"dist: {readme} line {line}: {text[pos]!r} (U+{ord(text[pos]):04X}) {why}; "
             "use its full-width or ASCII look-alike")
try:
    encoded = text.encode("cp932")
except UnicodeEncodeError as e:
    bad_char(e.start, "has no code page 932 form")
if encoded.decode("cp932") != text:
    for pos, c in enumerate(text):
        if c.encode("cp932").decode("cp932") != c:
            bad_char(pos, "does not come back from code page 932 as itself")
data = encoded.replace(b"\n", b"\r\n")  # 0x0A is never part of a double-byte character

def entry(name, mtime):
    # A zip entry cannot be dated before 1980.
    info = zipfile.ZipInfo(name, time.localtime(max(mtime, 315619200))[:6])
    info.compress_type = zipfile.ZIP_DEFLATED
    info.create_system = 0  # MS-DOS: no Unix permissions for the Windows side to puzzle over
    return info

with zipfile.ZipFile(out, "w") as z:
    for name in ("tagzo.exe", "Readme.txt", "install.exe", "uninstall.exe", "vbmp3.dll"):
        if name == "Readme.txt":
            z.writestr(entry(name, os.path.getmtime(readme)), data)
        else:
            path = os.path.join(bin_dir, name)
            with open(path, "rb") as f:
                z.writestr(entry(name, os.path.getmtime(path)), f.read())
PY
chmod 644 "$tmp"
mv -f "$tmp" "$archive"
trap - EXIT
echo "$archive"
