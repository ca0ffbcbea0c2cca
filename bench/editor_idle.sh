#!/usr/bin/env bash
# CPU time of the editor at rest under Wine, this tree against an earlier commit:
#   bench/editor_idle.sh [BASE] [SECONDS]
# BASE (default: the commit before the last change to the monitor thread) is built in a git
# worktree with the same toolchain; SECONDS (default 30) is the length of each measurement.
# Two cases, nothing playing in either: the editor in front, and the editor behind another
# window. Each row gives the CPU time of the editor's process and of Wine's server as a share
# of one core. Goal: behind another window, the editor under 0.5 %.
# Build first: cmake --build --preset windows (windows64 where 32-bit programs cannot run).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$root/tools/windows-build.sh"
source "$root/bench/lib.sh"
pick_windows_build
echo "editor_idle: build/$win_preset ($win_why)"
seconds=${2:-30}
base=${1:-$(git -C "$root" log -n 1 --format=%H -- win32/editor/monitor.cpp)~1}
base=$(git -C "$root" rev-parse --short "$base")
work=$root/build/$win_preset/bench-idle
mkdir -p "$work"
now_exe=$root/build/$win_preset/bin/tagzo.exe
[[ -f $now_exe ]] || { echo "editor_idle: build the $win_preset preset first" >&2; exit 1; }

# The earlier editor, built once per commit in a worktree of its own.
base_exe=$work/base-$base/tagzo.exe
build_at_commit editor_idle "$base" tagzo tagzo.exe "$base_exe" "$work"

bench_own_prefix "$work" :94 "$now_exe"

ticks=$(getconf CLK_TCK)
cpu_ticks() {  # utime + stime of a process, in clock ticks
  if [[ -n $1 && -f /proc/$1/stat ]]; then awk '{print $14 + $15}' "/proc/$1/stat"; else echo 0; fi
}
server_pid() { pgrep -n '^wineserver' || true; }

measure() {  # EXE CASE -> prints "editor% server%"
  local exe=$1 case=$2 dir pid server e0 s0 e1 s1
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  dir=$work/run
  rm -rf "$dir"
  mkdir -p "$dir"
  cp "$exe" "$dir/tagzo.exe"
  (cd "$dir" && "$root/tools/wine-run.sh" ./tagzo.exe >/dev/null 2>&1 &)
  for _ in $(seq 150); do
    pid=$(pgrep -n -f 'tagzo\.exe' || true)
    [[ -n $pid ]] && DISPLAY=:94 xwininfo -root -tree 2>/dev/null | grep -q '"kessa 0.29"' && break
    sleep 0.2
  done
  [[ -n ${pid:-} ]] || { echo "editor_idle: the editor did not start" >&2; exit 1; }
  if [[ $case == behind ]]; then
    # Another program's window takes the front.
    (cd "$dir" && "$root/tools/wine-run.sh" notepad >/dev/null 2>&1 &)
    for _ in $(seq 150); do
      DISPLAY=:94 xwininfo -root -tree 2>/dev/null | grep -qi 'notepad\|メモ帳' && break
      sleep 0.2
    done
  fi
  sleep 3  # start-up settles
  server=$(server_pid)
  e0=$(cpu_ticks "$pid") s0=$(cpu_ticks "$server")
  sleep "$seconds"
  e1=$(cpu_ticks "$pid") s1=$(cpu_ticks "$server")
  wineserver -k 2>/dev/null || true
  awk -v e=$((e1 - e0)) -v s=$((s1 - s0)) -v t="$ticks" -v n="$seconds" \
    'BEGIN { printf "%6.2f %%   %6.2f %%", 100 * e / t / n, 100 * s / t / n }'
}

printf '%-22s %-8s %10s %12s\n' "editor" "case" "editor" "wineserver"
for who in "base $base:$base_exe" "this tree:$now_exe"; do
  name=${who%%:*} exe=${who#*:}
  for case in front behind; do
    result=$(measure "$exe" "$case")
    printf '%-22s %-8s %s\n' "$name" "$case" "$result"
    if [[ $name == "this tree" && $case == behind ]]; then
      editor=${result%%%*}
      if awk -v e="$editor" 'BEGIN { exit !(e < 0.5) }'; then
        echo "PASS behind another window the editor takes ${editor// /} % of a core (goal < 0.5 %)"
      else
        echo "FAIL behind another window the editor takes ${editor// /} % of a core (goal < 0.5 %)"
      fi
    fi
  done
done
