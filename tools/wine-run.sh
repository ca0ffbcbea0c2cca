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
  # Drive R: is a CD-ROM drive for the tests of read-only media: a folder beside the prefix,
  # typed "cdrom" in Wine's drive list (read when Wine's mount manager starts).
  mkdir -p "$WINEPREFIX-cdrom"
  ln -sfn "$WINEPREFIX-cdrom" "$WINEPREFIX/dosdevices/r:"
  if ! grep -q '^"r:"="cdrom"' "$WINEPREFIX/system.reg"; then
    wine reg add 'HKLM\Software\Wine\Drives' /v r: /d cdrom /f /reg:64 >/dev/null 2>&1 || true
    wineserver -k || true
    wineserver -w || true
  fi
}
# Every Wine program of a run shares one display: Wine's desktop process outlives a program,
# and a later program that joins it must see the same display. Without one of the caller's
# own, a virtual display is started once and kept.
# A socket alone proves nothing: /tmp can outlive the server (a machine that kept /tmp), so
# the server counts as running only while the process named in its lock file lives.
display_alive() {
  local n=$1 pid
  [[ -S /tmp/.X11-unix/X$n && -f /tmp/.X$n-lock ]] || return 1
  pid=$(tr -dc 0-9 </tmp/.X$n-lock)
  # A process of that number may be another program after a restart.
  [[ -n $pid ]] && [[ $(cat "/proc/$pid/comm" 2>/dev/null) == Xvfb ]]
}
if [[ -z ${DISPLAY:-} ]]; then
  display=${TAGZO_DISPLAY:-:77}
  n=${display#:}
  exec 8>"/tmp/tagzo-xvfb-$n.lock"
  flock -w 60 8 || { echo "wine-run: another run holds /tmp/tagzo-xvfb-$n.lock" >&2; exit 1; }
  if ! display_alive "$n"; then
    rm -f "/tmp/.X11-unix/X$n" "/tmp/.X$n-lock"
    # The server must not inherit the lock, or it would hold it for as long as it lives.
    (setsid Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp </dev/null >/dev/null 2>&1 8>&- &)
    for _ in $(seq 100); do display_alive "$n" && break; sleep 0.1; done
    display_alive "$n" || { echo "wine-run: Xvfb did not start on $display" >&2; exit 1; }
  fi
  flock -u 8
  exec 8>&-
  export DISPLAY=$display
fi
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
