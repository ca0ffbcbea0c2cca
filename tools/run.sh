#!/usr/bin/env bash
# Runs tagzo: builds it first, and installs what the build needs when it is missing (apt-get,
# so run it as root the first time).
#   tools/run.sh [FILE.mp3]              the editor window on the file (the bundled sample when
#                                        none is given), under Wine
#   tools/run.sh show [--json] FILE...   tagzo-cli, natively; likewise "set" and "help"
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cli() {
  local exe=$root/build/native/bin/tagzo-cli
  if [[ ! -x $exe ]]; then
    bash "$root/tools/install-deps.sh" >&2
    cmake --preset native -S "$root" >/dev/null
    cmake --build "$root/build/native" --target tagzo-cli >&2
  fi
  exec "$exe" "$@"
}
editor() {
  local exe=$root/build/windows/bin/tagzo.exe
  if [[ ! -f $exe || ! -f $root/build/windows/bin/vbmp3.dll ]]; then
    bash "$root/tools/install-deps.sh" >&2
    cmake --preset windows -S "$root" >/dev/null
    cmake --build "$root/build/windows" --target tagzo vbmp3 >&2
  fi
  local file
  file=$(realpath "${1:-$root/samples/sample.mp3}")
  [[ -f $file ]] || { echo "run: no such file: $file" >&2; exit 2; }
  if [[ -z ${DISPLAY:-} ]]; then
    echo "run: no display is set, so the editor opens on a virtual one (${TAGZO_DISPLAY:-:77});" \
         "tools/screenshot.sh shows what it looks like. Stop it with Ctrl+C." >&2
  fi
  cd "$(dirname "$file")"
  exec "$root/tools/wine-run.sh" "$exe" /e "$(basename "$file")"
}
case ${1:-} in
  show|set|help|--help|-h) cli "$@" ;;
  editor) shift; editor "$@" ;;
  *) editor "$@" ;;
esac
