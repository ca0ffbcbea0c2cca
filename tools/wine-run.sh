#!/usr/bin/env bash
# Runs a Windows program under Wine in the project's own prefix, with code page 932.
#   wine-run.sh PROGRAM ARGS       run a program
#   wine-run.sh --boot [PROGRAM]   make and boot the prefix PROGRAM would run in (about 15 s
#                                  the first time); without PROGRAM, that of the 32-bit build
#   wine-run.sh --prefix [PROGRAM] print the path of that prefix (booted or not)
#   wine-run.sh --can-run-32       exit 0 when this machine runs 32-bit programs, else say why
# Each build folder has its own prefix, FOLDER/wineprefix: the folder named by
# TAGZO_WINE_BUILD, else the build folder that holds the program, else build/windows for a
# 32-bit program and build/windows64 for a 64-bit one. TAGZO_WINEPREFIX names another prefix.
# TAGZO_WINE_LOCALE names the Unix locale the programs run in, ja_JP.UTF-8 unless set. Wine
# takes a process's ANSI code page from it: ja_JP.UTF-8 gives 932, en_US.UTF-8 gives 1252 (the
# code page of a Western system, to show that a program does not depend on 932). Another
# locale than the default runs in a prefix of its own beside the default one,
# FOLDER/wineprefix-LOCALE: Wine reads the code page from the locale at every start even in a
# shared prefix, but each start in another locale than the last one rewrites the prefix's
# regional settings and font entries (names, substitutes) for the new locale, under any
# program of the other locale that runs at the same time. TAGZO_WINE_FONT_NAMES=plain makes
# a prefix without stand-ins for the Japanese font names (see below), FOLDER/wineprefix-plain
# (with the locale after it when that is not the default). TAGZO_WINE_DPI=N (other than 96)
# makes a prefix whose screen has N dots per inch, FOLDER/wineprefix-dpiN (the same suffixes
# after it): Wine reads the value (LogPixels) when the prefix starts, and scales its own
# metrics and the dialogs' fonts by it.
# The loader fits the program: its PE header says whether it is a 32-bit or a 64-bit program.
# Wine's own programs (wineboot, reg) are 64-bit in the prefix, which is always a win64 one.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
wine32=/usr/lib/wine/wine
wine64=/usr/lib/wine/wine64
export WINEDEBUG=${TAGZO_WINEDEBUG:--all}  # TAGZO_WINEDEBUG asks for Wine's own messages
export WINEARCH=win64
default_locale=ja_JP.UTF-8
locale=${TAGZO_WINE_LOCALE:-$default_locale}
# A locale that is not installed would leave Wine in the C locale, code page 1252, silently.
# locale -a spells "ja_JP.UTF-8" as "ja_JP.utf8".
norm_locale() { local l=${1,,}; echo "${l//-/}"; }
installed=$(locale -a 2>/dev/null | while read -r l; do norm_locale "$l"; done)
if ! grep -qxF "$(norm_locale "$locale")" <<<"$installed"; then
  echo "wine-run: the locale $locale is not installed (tools/install-deps.sh as root generates it)" >&2
  exit 1
fi
export LANG=$locale LC_ALL=$locale
# No .NET or Gecko installers at boot, and no menu entries or desktop files made from the
# programs' shortcuts: Wine must not touch the caller's own desktop.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

source "$here/tools/pe-machine.sh"
# Why 32-bit programs cannot run here, in the loader's own words; nothing when they can.
# The kernel is asked first, with the probe the dependency installer uses to decide on wine32.
source "$here/tools/runs-32.sh"
why_no_32() {
  local out
  out=$(why_kernel_no_32)
  [[ -z $out ]] || { echo "$out"; return; }
  [[ -x $wine32 ]] || { echo "Wine's 32-bit loader $wine32 is not installed (package wine32:i386)"; return; }
  # In the C locale, so that the loader's (or the shell's) error reads the same everywhere.
  if ! out=$(LC_ALL=C; "$wine32" --version 2>&1); then
    out=${out##*$'\n'}
    echo "${out#*line [0-9]*: }"
  fi
}
# The build folder a program belongs to.
build_of() {
  local prog=$1 machine=$2 dir
  if [[ -n ${TAGZO_WINE_BUILD:-} ]]; then echo "$TAGZO_WINE_BUILD"; return; fi
  if [[ -f $prog ]]; then
    dir=$(cd "$(dirname "$prog")" && pwd)
    while [[ $dir != / ]]; do
      [[ -f $dir/CMakeCache.txt ]] && { echo "$dir"; return; }
      dir=$(dirname "$dir")
    done
  fi
  if [[ $machine == x86_64 ]]; then echo "$here/build/windows64"; else echo "$here/build/windows"; fi
}

mode=run
case ${1:-} in
  --can-run-32)
    why=$(why_no_32)
    [[ -z $why ]] || { echo "$why" >&2; exit 1; }
    exit 0 ;;
  --boot) mode=boot; shift ;;
  --prefix) mode=prefix; shift ;;
  "") echo "usage: wine-run.sh PROGRAM ARGS | --boot [PROGRAM] | --prefix [PROGRAM] | --can-run-32" >&2; exit 2 ;;
esac
program=${1:-}
machine=$(pe_machine "$program")
[[ -n $program || -n ${TAGZO_WINE_BUILD:-} ]] || machine=i386  # a bare --boot: the product's
prefix_name=wineprefix
dpi=${TAGZO_WINE_DPI:-96}
[[ $dpi =~ ^[1-9][0-9]*$ ]] || { echo "wine-run: TAGZO_WINE_DPI must be a number of dots per inch, not $dpi" >&2; exit 2; }
[[ $dpi == 96 ]] || prefix_name+=-dpi$dpi
[[ ${TAGZO_WINE_FONT_NAMES:-} != plain ]] || prefix_name+=-plain
[[ $locale == "$default_locale" ]] || prefix_name+=-$locale
WINEPREFIX=${TAGZO_WINEPREFIX:-$(build_of "$program" "$machine")/$prefix_name}
export WINEPREFIX=$(realpath -m "$WINEPREFIX")  # Wine takes only an absolute path
if [[ $mode == prefix ]]; then
  echo "$WINEPREFIX"
  exit 0
fi
if [[ $machine == i386 ]]; then
  why=$(why_no_32)
  if [[ -n $why ]]; then
    echo "wine-run: ${program:-the 32-bit build} is a 32-bit program, and this machine cannot run" \
         "32-bit programs: $why. Build and test the 64-bit build instead (preset windows64)." >&2
    exit 1
  fi
  loader=$wine32
else
  loader=$wine64
fi
[[ -x $wine64 ]] || { echo "wine-run: Wine's 64-bit loader $wine64 is missing (package wine64)" >&2; exit 1; }
# Wine starts a program's child processes through WINELOADER (it adds or strips the "64").
export WINELOADER=$loader

boot() {
  mkdir -p "$(dirname "$WINEPREFIX")"
  exec 9>"$WINEPREFIX.lock"
  flock 9
  if [[ ! -f $WINEPREFIX/system.reg ]]; then
    # wineboot is a 64-bit program of the prefix: the 64-bit loader runs it on any machine.
    WINELOADER=$wine64 WINEDEBUG=err+all "$wine64" wineboot -i >"$WINEPREFIX.boot.log" 2>&1 || true
    wineserver -w || true
  fi
  if [[ ! -f $WINEPREFIX/system.reg ]]; then
    echo "wine-run: the prefix $WINEPREFIX did not boot; the loader $wine64 said:" >&2
    tr -d '\0' <"$WINEPREFIX.boot.log" | tail -n 15 | sed 's/^/  /' >&2
    exit 1
  fi
  # Wine links the user's Desktop, Documents, Music and the like to the caller's home. A
  # program that puts a shortcut on the desktop would then put it on the caller's own: the
  # prefix gets folders of its own instead.
  local folder
  for folder in "$WINEPREFIX"/drive_c/users/*/*; do
    if [[ -L $folder ]]; then rm -f "$folder" && mkdir -p "$folder"; fi
  done
  # Drive R: is a CD-ROM drive for the tests of read-only media: a folder beside the prefix,
  # typed "cdrom" in Wine's drive list (read when Wine's mount manager starts).
  mkdir -p "$WINEPREFIX-cdrom"
  ln -sfn "$WINEPREFIX-cdrom" "$WINEPREFIX/dosdevices/r:"
  if ! grep -q '^"r:"="cdrom"' "$WINEPREFIX/system.reg"; then
    WINELOADER=$wine64 "$wine64" reg add 'HKLM\Software\Wine\Drives' /v r: /d cdrom /f /reg:64 \
      >/dev/null 2>&1 || true
    wineserver -k || true
    wineserver -w || true
  fi
  # The dialogs ask for the Japanese system fonts by name; Wine has none of that name. IPA's
  # Gothic fonts take their place, so that the programs look as on a Japanese system.
  # TAGZO_WINE_FONT_NAMES=plain leaves them out: a system without fonts of those names, where
  # the programs choose a font with Japanese glyphs themselves.
  if [[ ${TAGZO_WINE_FONT_NAMES:-} != plain ]] && ! grep -q '^\[Software\\\\Wine\\\\Fonts\\\\Replacements\]' "$WINEPREFIX/user.reg"; then
    local key='HKCU\Software\Wine\Fonts\Replacements'
    WINELOADER=$wine64 "$wine64" reg add "$key" /v 'ＭＳ Ｐゴシック' /d IPAPGothic /f >/dev/null 2>&1 || true
    WINELOADER=$wine64 "$wine64" reg add "$key" /v 'ＭＳ ゴシック' /d IPAGothic /f >/dev/null 2>&1 || true
    wineserver -w || true
  fi
  # The screen's dots per inch, read by Wine when the prefix starts.
  # A file in the prefix says that it is set (Wine's registry holds other values of that name).
  if [[ $dpi != 96 && $(cat "$WINEPREFIX/tagzo-dpi" 2>/dev/null) != "$dpi" ]]; then
    WINELOADER=$wine64 "$wine64" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f \
      >/dev/null 2>&1 || true
    wineserver -w || true
    echo "$dpi" >"$WINEPREFIX/tagzo-dpi"
  fi
}
# Every Wine program of a run shares one display: Wine's desktop process outlives a program,
# and a later program that joins it must see the same display. Without one of the caller's
# own, a virtual display is started once and kept.
# A socket alone proves nothing: /tmp can outlive the server (a machine that kept /tmp), so
# the server counts as running only while the process named in its lock file lives.
# A server started with -displayfd writes no lock file: its process number is given instead.
display_alive() {  # display_alive N [PID]
  local n=$1 pid=${2:-}
  [[ -S /tmp/.X11-unix/X$n ]] || return 1
  [[ -n $pid ]] || pid=$(tr -dc 0-9 </tmp/.X$n-lock 2>/dev/null)
  # A process of that number may be another program after a restart.
  [[ -n $pid ]] && [[ $(cat "/proc/$pid/comm" 2>/dev/null) == Xvfb ]]
}
# The usual number can be taken where this run cannot see it: an X server listens on an abstract
# socket too, which belongs to the network namespace, so another container or chroot on the
# same network (with a /tmp of its own) holds the number unseen. Then the server takes a free
# number itself (-displayfd), and /tmp/tagzo-xvfb-N.moved keeps it for the run's later programs.
start_xvfb() {  # start_xvfb N: 0 when a server of ours runs on :N
  local n=$1 log=/tmp/tagzo-xvfb-$1.log
  rm -f "/tmp/.X11-unix/X$n" "/tmp/.X$n-lock"
  # The server must not inherit the lock, or it would hold it for as long as it lives.
  (setsid Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp </dev/null >/dev/null 2>"$log" 8>&- &)
  for _ in $(seq 100); do
    display_alive "$n" && return 0
    grep -q 'Fatal server error' "$log" 2>/dev/null && return 1
    sleep 0.1
  done
  display_alive "$n"
}
start_free_xvfb() {  # prints "NUMBER PID" of a server started on a free display
  local num=/tmp/tagzo-xvfb-free.$$ m= pid
  rm -f "$num"
  # setsid is no group leader in the subshell, so it becomes the server: $! is the server's.
  pid=$( (setsid Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp </dev/null >/dev/null 2>&1 3>"$num" 8>&- & echo $!) )
  for _ in $(seq 100); do
    m=$(tr -dc 0-9 <"$num" 2>/dev/null)
    [[ -n $m ]] && display_alive "$m" "$pid" && break
    m=
    sleep 0.1
  done
  rm -f "$num"
  [[ -n $m ]] && echo "$m $pid"
}
own_display=
if [[ -z ${DISPLAY:-} ]]; then
  own_display=1
  display=${TAGZO_DISPLAY:-:77}
  n=${display#:}
  exec 8>"/tmp/tagzo-xvfb-$n.lock"
  flock -w 60 8 || { echo "wine-run: another run holds /tmp/tagzo-xvfb-$n.lock" >&2; exit 1; }
  read -r moved moved_pid 2>/dev/null <"/tmp/tagzo-xvfb-$n.moved" || moved=
  if display_alive "$n"; then
    :
  elif [[ -n $moved ]] && display_alive "$moved" "$moved_pid"; then
    display=:$moved
  elif ! start_xvfb "$n"; then
    why=$(grep -m1 -iE 'cannot establish|already active' "/tmp/tagzo-xvfb-$n.log" 2>/dev/null |
          sed 's/(EE)//g; s/^ *//; s/ *$//')
    free=$(start_free_xvfb) ||
      { echo "wine-run: Xvfb did not start on $display (${why:-no reason given}), nor on a free display" >&2; exit 1; }
    echo "$free" >"/tmp/tagzo-xvfb-$n.moved"
    echo "wine-run: the display $display is taken (Xvfb: ${why:-it did not start}); using :${free% *} instead" >&2
    display=:${free% *}
  fi
  flock -u 8
  exec 8>&-
  export DISPLAY=$display
fi
# Whether Wine leaves the windows to a window manager. On the runner's own display none runs,
# and Wine's X11 driver would wait up to 2 s for one whenever it hides a captioned window (a
# dialog's end, a message box, a program's exit): there the windows are Wine's own to manage
# ("Managed" = "N"). On the caller's display a window manager may run: Wine's default then.
# A file in the prefix remembers the last setting and the prefix's path, so the registry is
# changed only on a switch, and again in a copy of the prefix, whose registry may have been
# copied before Wine saved it.
set_managed() {
  local managed=Y key='HKCU\Software\Wine\X11 Driver'
  [[ -n $own_display ]] && managed=N
  [[ $(cat "$WINEPREFIX/tagzo-managed" 2>/dev/null) != "$managed $WINEPREFIX" ]] || return 0
  if [[ $managed == N ]]; then
    WINELOADER=$wine64 "$wine64" reg add "$key" /v Managed /d N /f >/dev/null 2>&1 || true
  else
    WINELOADER=$wine64 "$wine64" reg delete "$key" /v Managed /f >/dev/null 2>&1 || true
  fi
  echo "$managed $WINEPREFIX" >"$WINEPREFIX/tagzo-managed"
}
if [[ $mode == boot ]]; then
  boot
  set_managed
  echo "wine-run: prefix ready at $WINEPREFIX"
  exit 0
fi
[[ -f $WINEPREFIX/system.reg ]] || boot
set_managed
# Wine's own service processes inherit the program's output handles and outlive it by a few
# seconds: a caller that reads the output through a pipe waits for them. Send the output to
# files, as the tests do, to read it at once.
exec "$loader" "$@"
