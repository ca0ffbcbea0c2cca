#!/usr/bin/env bash
# Runs tagzo: builds it first, and installs what the build needs when it is missing (apt-get,
# so run it as root the first time).
#   tools/run.sh [FILE.mp3]              the editor window on the file (the bundled sample when
#                                        none is given), under Wine: the 32-bit build, or the
#                                        64-bit one where 32-bit programs cannot run here
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
  # The 32-bit build is the product; where this machine cannot run 32-bit programs, the same
  # editor built for x86_64 opens instead.
  bash "$root/tools/install-deps.sh" >&2
  source "$root/tools/windows-build.sh"
  pick_windows_build
  local build=$root/build/$win_preset
  echo "run: the editor from build/$win_preset ($win_why)" >&2
  local exe=$build/bin/tagzo.exe
  if [[ ! -f $exe || ! -f $build/bin/vbmp3.dll ]]; then
    cmake --preset "$win_preset" -S "$root" >/dev/null
    cmake --build "$build" --target tagzo vbmp3 >&2
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
