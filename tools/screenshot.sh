#!/usr/bin/env bash
# Takes a picture of the editor's main window with the bundled sample, on a virtual display:
#   tools/screenshot.sh [OUT.png]      (default docs/editor.png)
# Needs the Windows build (cmake --build --preset windows) and imagemagick's import.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
out=${1:-$root/docs/editor.png}
mkdir -p "$(dirname "$out")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$root/build/windows/bin/tagzo.exe" "$root/build/windows/bin/vbmp3.dll" "$work/"
cp "$root/samples/sample.mp3" "$work/sample.mp3"
export DISPLAY=:78
Xvfb "$DISPLAY" -screen 0 640x400x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null; rm -rf "$work"' EXIT
sleep 1
(cd "$work" && "$root/tools/wine-run.sh" ./tagzo.exe /e sample.mp3 >/dev/null 2>&1 &)
for _ in $(seq 100); do
  if xwininfo -root -tree 2>/dev/null | grep -q '"kessa 0.29"'; then break; fi
  sleep 0.2
done
sleep 1
id=$(xwininfo -root -tree | awk '/"kessa 0.29"/ {print $1; exit}')
import -window "${id:-root}" "$out"
WINEPREFIX=${TAGZO_WINEPREFIX:-$root/build/windows/wineprefix} wineserver -k 2>/dev/null || true
echo "screenshot: $out"
