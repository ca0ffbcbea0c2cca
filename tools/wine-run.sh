#!/usr/bin/env bash
# Runs a Windows program under Wine in the project's own prefix, with code page 932.
#   wine-run.sh --boot        make and boot the prefix once (about 15 s the first time)
#   wine-run.sh PROGRAM ARGS  run a program
# TAGZO_WINEPREFIX chooses another prefix; the default lives in build/windows.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX=${TAGZO_WINEPREFIX:-$here/build/windows/wineprefix}
export WINEDEBUG=-all
export WINEARCH=${WINEARCH:-win64}
export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
export WINEDLLOVERRIDES="mscoree,mshtml="
boot() {
  mkdir -p "$(dirname "$WINEPREFIX")"
  exec 9>"$WINEPREFIX.lock"
  flock 9
  if [[ ! -f $WINEPREFIX/system.reg ]]; then
    wineboot -i >/dev/null 2>&1 || true
    wineserver -w || true
  fi
  [[ -f $WINEPREFIX/system.reg ]] || { echo "wine-run: the prefix $WINEPREFIX did not boot" >&2; exit 1; }
}
if [[ ${1:-} == --boot ]]; then
  boot
  echo "wine-run: prefix ready at $WINEPREFIX"
  exit 0
fi
[[ -f $WINEPREFIX/system.reg ]] || boot
# Wine's own service processes inherit the program's output handles and outlive it by a few
# seconds: a caller that reads the output through a pipe waits for them. Send the output to
# files, as the tests do, to read it at once.
exec wine "$@"
