#!/usr/bin/env bash
# Runs tagzo on an MP3 file (the bundled sample when none is given): builds it first, and
# installs what the build needs when it is missing (apt-get, so run it as root the first time).
#   tools/run.sh [FILE.mp3]            show the file's tag with tagzo-cli
#   tools/run.sh set --title T FILE    any tagzo-cli command
#   tools/run.sh editor [FILE.mp3]     the editor window, under Wine
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cli=$root/build/native/bin/tagzo-cli
if [[ ! -x $cli ]]; then
  bash "$root/tools/install-deps.sh" >&2
  cmake --preset native -S "$root" >/dev/null
  cmake --build "$root/build/native" --target tagzo-cli >&2
fi
case ${1:-} in
  editor)
    exe=$root/build/windows/bin/tagzo.exe
    if [[ ! -f $exe ]]; then
      bash "$root/tools/install-deps.sh" >&2
      cmake --preset windows -S "$root" >/dev/null
      cmake --build "$root/build/windows" --target tagzo >&2
    fi
    file=$(realpath "${2:-$root/samples/sample.mp3}")
    cd "$(dirname "$file")"
    exec "$root/tools/wine-run.sh" "$exe" /e "$(basename "$file")" ;;
  show|set|help|--help|-h) exec "$cli" "$@" ;;
  "") exec "$cli" show "$root/samples/sample.mp3" ;;
  *) exec "$cli" show "$@" ;;
esac
