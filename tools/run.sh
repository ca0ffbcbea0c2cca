#!/usr/bin/env bash
# Runs tagzo-cli on an MP3 file (the bundled sample when none is given): builds it first, and
# installs what the build needs when it is missing (apt-get, so run it as root the first time).
#   tools/run.sh [FILE.mp3]            show the file's tag
#   tools/run.sh set --title T FILE    any tagzo-cli command
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cli=$root/build/native/bin/tagzo-cli
if [[ ! -x $cli ]]; then
  bash "$root/tools/install-deps.sh" >&2
  cmake --preset native -S "$root" >/dev/null
  cmake --build "$root/build/native" --target tagzo-cli >&2
fi
case ${1:-} in
  show|set|help|--help|-h) exec "$cli" "$@" ;;
  "") exec "$cli" show "$root/samples/sample.mp3" ;;
  *) exec "$cli" show "$@" ;;
esac
