#!/usr/bin/env bash
# Takes a picture on a virtual display of the editor's main window with the bundled sample, or
# of the installer's dialog:
#   tools/screenshot.sh [OUT.png]            (default docs/editor.png)
#   tools/screenshot.sh install [OUT.png]    (default docs/install.png)
#   tools/screenshot.sh dialogs              every dialog of the editor, as its end-to-end tests
#                                            open them, into build/PRESET/dialogs; the options
#                                            dialog also to docs/options.png
# TAGZO_WINE_DPI=144 or 192 takes it on a screen of that scale; TAGZO_SHOT_FILE=F.mp3 opens the
# editor on another file than the bundled sample (docs/editor-id3v2.png: samples/sample-id3v2.mp3).
# Needs a Windows build (cmake --build --preset windows, or windows64 where this machine cannot
# run 32-bit programs) and imagemagick's import.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$root/tools/windows-build.sh"
pick_windows_build
bin=$root/build/$win_preset/bin
subject=editor
if [[ ${1:-} == install ]]; then subject=install; shift; fi
if [[ ${1:-} == dialogs ]]; then
  shots=$root/build/$win_preset/dialogs
  rm -rf "$shots"
  mkdir -p "$shots"
  echo "screenshot: the editor's dialogs from build/$win_preset ($win_why)"
  TAGZO_LOOK="Z:${shots//\//\\}" "$root/tools/wine-run.sh" "$bin/drive_editor.exe" --gtest_filter='Editor.*' \
    >"$shots/drive_editor.log" 2>&1 || echo "screenshot: some tests failed; see $shots/drive_editor.log"
  for b in "$shots"/*.bmp; do
    convert "$b" "${b%.bmp}.png"
    rm -f "$b"
  done
  cp "$shots/options.png" "$root/docs/options.png"
  ls "$shots"/*.png
  exit 0
fi
echo "screenshot: the $subject from build/$win_preset ($win_why)"
out=${1:-$root/docs/$subject.png}
mkdir -p "$(dirname "$out")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$bin/tagzo.exe" "$bin/vbmp3.dll" "$work/"
cp "${TAGZO_SHOT_FILE:-$root/samples/sample.mp3}" "$work/sample.mp3"
export DISPLAY=:78
screen=640x400x24
[[ $subject == install ]] && screen=800x600x24
# A screen of another scale (TAGZO_WINE_DPI, see tools/wine-run.sh) gets room for the larger window.
if [[ ${TAGZO_WINE_DPI:-96} != 96 ]]; then
  screen=1600x1200x24
fi
Xvfb "$DISPLAY" -screen 0 $screen -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null; rm -rf "$work"' EXIT
sleep 1
if [[ $subject == install ]]; then
  # The dialog as a first installation opens it; it is closed before anything is installed.
  cp "$bin/install.exe" "$work/"
  program=(./install.exe)
  title='"kessa'
else
  program=(./tagzo.exe /e sample.mp3)
  title='"kessa 0.29"'
fi
(cd "$work" && TAGZO_WINE_BUILD=$root/build/$win_preset "$root/tools/wine-run.sh" "${program[@]}" >/dev/null 2>&1 &)
for _ in $(seq 100); do
  if xwininfo -root -tree 2>/dev/null | grep -q "$title"; then break; fi
  sleep 0.2
done
sleep 1
id=$(xwininfo -root -tree | awk -v t="$title" 'index($0, t) {print $1; exit}')
import -window "${id:-root}" "$out"
WINEPREFIX=$(TAGZO_WINE_BUILD=$root/build/$win_preset "$root/tools/wine-run.sh" --prefix) wineserver -k 2>/dev/null || true
echo "screenshot: $out"
