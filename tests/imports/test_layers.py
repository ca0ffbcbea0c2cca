#!/usr/bin/env python3
"""Every include points down the layers: no file includes a layer above its own.

The folders are the layers. From the bottom: platform/ (files, processes, text conversion),
then the portable core/ (formats, settings, editing, then the face rules, the preview and the
set-up rules), then the programs over it: cli/ and win32/ (the decoder binding and the
installer's shared part, then the editor and the uninstaller). vbmp3/ stands alone. A file may
include its own folder and any folder ranked below it, never one ranked above it or beside it
(cli/ never reaches into win32/, nor the preview into the face rules). Nothing in core/, and no
portable file of platform/, includes a Windows header.

    test_layers.py SOURCE_ROOT
"""
import os
import re
import sys
import tempfile

# (folder, rank): the longest matching folder names a file's layer.
LAYERS = [
    ("platform", 0),
    ("vbmp3", 0),
    ("core/formats", 1),
    ("core/settings", 2),
    ("core/editing", 3),
    ("core/face", 4),
    ("core/preview", 4),
    ("core/setup", 4),
    ("cli", 5),
    ("win32/common", 4),
    ("win32/decoder", 5),
    ("win32/install", 5),
    ("win32/editor", 6),
    ("win32/uninstall", 6),
    ("tests/support", 7),
    ("tests", 8),
    ("bench", 8),
]
SOURCE_FOLDERS = ("platform", "vbmp3", "core", "cli", "win32", "tests", "bench")
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]', re.M)
WINDOWS_HEADERS = {"windows.h", "winbase.h", "winuser.h", "shlobj.h", "shellapi.h", "commctrl.h", "mmsystem.h",
                   "oleacc.h", "objbase.h", "winreg.h", "io.h", "direct.h"}


def layer_of(path):
    best = None
    for folder, rank in LAYERS:
        if path == folder or path.startswith(folder + "/"):
            if best is None or len(folder) > len(best[0]):
                best = (folder, rank)
    return best


def is_portable(path):
    """Files that must build without Windows: the core, and platform's files not named *_win32."""
    return path.startswith("core/") or (path.startswith("platform/") and "_win32." not in path)


def faults(root):
    found = []
    for top in SOURCE_FOLDERS:
        for folder, _, files in os.walk(os.path.join(root, top)):
            for name in files:
                if not name.endswith((".h", ".cpp", ".rc")):
                    continue
                path = os.path.relpath(os.path.join(folder, name), root).replace(os.sep, "/")
                own = layer_of(path)
                if own is None:
                    continue
                with open(os.path.join(root, path), encoding="utf-8", errors="replace") as f:
                    text = f.read()
                for m in INCLUDE.finditer(text):
                    line = text.count("\n", 0, m.start()) + 1
                    kind, target = m.groups()
                    if kind == "<":
                        if is_portable(path) and target.lower() in WINDOWS_HEADERS:
                            found.append(f"{path}:{line}: portable code includes <{target}>")
                        continue
                    to = layer_of(target)
                    if to is None or to[0] == own[0]:
                        continue
                    if to[1] >= own[1]:
                        found.append(f"{path}:{line}: {own[0]}/ (layer {own[1]}) includes {target} "
                                     f"from {to[0]}/ (layer {to[1]})")
    return found


def check_catches_planted_includes():
    """The check itself: an upward include, one across, and a Windows header in the core fail."""
    planted = {
        "core/formats/a.h": '#include "core/editing/session.h"\n',
        "core/preview/b.cpp": '#include "core/face/face_rules.h"\n',
        "cli/c.cpp": '#include "win32/decoder/decoder.h"\n',
        "core/settings/d.cpp": "#include <windows.h>\n",
        "win32/editor/e.cpp": '#include "core/formats/tag.h"\n#include <windows.h>\n',
    }
    with tempfile.TemporaryDirectory() as root:
        for path, text in planted.items():
            os.makedirs(os.path.dirname(os.path.join(root, path)), exist_ok=True)
            with open(os.path.join(root, path), "w") as f:
                f.write(text)
        got = sorted(line.split(":")[0] for line in faults(root))
    want = ["cli/c.cpp", "core/formats/a.h", "core/preview/b.cpp", "core/settings/d.cpp"]
    if got != want:
        sys.exit(f"the layer check itself is wrong: it flagged {got}, not {want}")


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    check_catches_planted_includes()
    found = faults(sys.argv[1])
    for line in found:
        print(line)
    if found:
        sys.exit(f"{len(found)} include(s) cross a layer upward")
    print("every include points down the layers")


if __name__ == "__main__":
    main()
