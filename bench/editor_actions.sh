#!/usr/bin/env bash
# Time of the editor's actions under Wine, from the user's input to the file on disk and the
# window updated, this tree against an earlier commit, in one run:
#   bench/editor_actions.sh [BASE] [ROUNDS]
# The actions: an apply of a changed title; an apply that dialog 141 (a title longer than the
# ID3v1 record holds) asks about, answered "はい" (the file takes the RMP form) and "いいえ" (the
# record keeps 30 bytes); a load of another file of the folder picked in the File menu; a
# rename by F12 (its question turned off, so the key alone acts); the discard question of a
# load over an unapplied change, answered "はい". The questions are timed from the answer, and
# the time until they open is shown on rows of their own. The rename's time holds the wait
# until the editor's monitor thread takes the key (it looks every 12 ms, and Wine answers a
# thread's GetAsyncKeyState from what it read up to 50 ms before while the key was up); the
# row below it starts at the key's first effect on disk. bench/editor_actions.cpp (built as
# editor_actions.exe with the windows presets) sends the input and looks every 0.5 ms at the
# file and at the window's fields.
# BASE (default: the commit before the last change to the editor, the core or the platform
# layer) is built in a git worktree with the same toolchain. ROUNDS (default $N, else 20) is
# the number of times each action is timed. Each row gives the median and the largest time.
# The two editors take their rounds in turns. Goals: every action under 50 ms, and none slower
# than the base's by more than the noise (the larger of the interquartile ranges and of the
# moves of a median between the first and the second half of the rounds, at least 1 ms).
# The editor runs in a prefix and on a display of the bench's own, whose X11 driver has
# "Managed" = "N": on a display without a window manager Wine would otherwise wait up to 2 s
# each time a dialog closes. The run ends with a few rounds of the "はい" case with Wine's
# default ("Managed" unset) to show that wait, and sets "N" back.
# Build first: cmake --build --preset windows64 --target tagzo editor_actions (windows where
# 32-bit programs run).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$root/tools/windows-build.sh"
source "$root/bench/lib.sh"
pick_windows_build
echo "editor_actions: build/$win_preset ($win_why)"
rounds=${2:-${N:-20}}
base=${1:-$(git -C "$root" log -n 1 --format=%H -- win32/editor core platform)~1}
base=$(git -C "$root" rev-parse --short "$base")
work=$root/build/$win_preset/bench-actions
mkdir -p "$work"
now_exe=$root/build/$win_preset/bin/tagzo.exe
driver=$root/build/$win_preset/bin/editor_actions.exe
for f in "$now_exe" "$driver"; do
  [[ -f $f ]] || { echo "editor_actions: no $f; build the $win_preset preset's tagzo and editor_actions" >&2; exit 1; }
done

# The earlier editor, built once per commit in a worktree of its own.
base_exe=$work/base-$base/tagzo.exe
build_at_commit editor_actions "$base" tagzo tagzo.exe "$base_exe" "$work"

bench_own_prefix "$work" :95 "$now_exe"
x11_key='HKCU\Software\Wine\X11 Driver'
reg() { "$root/tools/wine-run.sh" reg "$@" >"$work/reg.out" 2>&1; }
managed_value() {  # the value of "Managed", or "unset"
  if reg query "$x11_key" /v Managed; then
    awk '/Managed/ { print $NF }' "$work/reg.out" | tr -d '\r'
  else
    echo unset
  fi
}
reg add "$x11_key" /v Managed /d N /f
echo "editor_actions: prefix $WINEPREFIX, display $TAGZO_DISPLAY, X11 Driver Managed = $(managed_value)"

winpath() { local p; p=$(realpath "$1"); echo "Z:${p//\//\\}"; }
# One run of the driver: its output in FILE; a run that failed is shown.
drive() {  # FILE ROUNDS ACTIONS NAME EXE [NAME EXE]
  local out=$1 rounds=$2 actions=$3 args=()
  shift 3
  while (($#)); do args+=("$1" "$(winpath "$2")"); shift 2; done
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  if ! "$root/tools/wine-run.sh" "$driver" "$rounds" "$actions" "${args[@]}" >"$out" 2>&1; then
    echo "editor_actions: the driver reported a failure:" >&2
    grep -a '^note' "$out" >&2 || tail -n 20 "$out" >&2
    return 1
  fi
}
# The times of one row of one editor, one a line, in the order of the rounds.
samples() {  # FILE NAME ROW
  awk -v name="$2" -v row="$3" '$1 == "samples" && $2 == name && $3 == row { for (i = 4; i <= NF; ++i) print $i }' \
    "$1" | tr -d '\r'
}
# Median, largest, first and third quartile and count of numbers, one a line.
stats() {
  sort -g | awk '{ v[NR] = $1 }
    function at(q,  p, lo) { p = q * (NR - 1) + 1; lo = int(p); return v[lo] + (v[lo + (lo < NR)] - v[lo]) * (p - lo) }
    END { if (NR) printf "%.2f %.2f %.2f %.2f %d\n", at(0.5), v[NR], at(0.25), at(0.75), NR; else print "- - - - 0" }'
}
# How far the median of the first half of the rounds lies from that of the second half.
halves() {
  local all first second n
  all=$(cat)
  n=$(wc -l <<<"$all")
  first=$(head -n $((n / 2)) <<<"$all" | stats) second=$(tail -n +$((n / 2 + 1)) <<<"$all" | stats)
  awk -v a="${first%% *}" -v b="${second%% *}" 'BEGIN { d = a - b; if (a == "-" || b == "-") d = 0; printf "%.2f\n", d < 0 ? -d : d }'
}

# The editors take their rounds in turns, round by round, so that what else the machine does
# falls on both alike.
drive "$work/times.txt" "$rounds" all base "$base_exe" now "$now_exe" || exit 1

rows=(look apply ask141 yes no load rename renamed ask_discard discard)
label() {
  case $1 in
    look) echo "one look at the file and the fields (the times' resolution)" ;;
    apply) echo "apply of a changed title" ;;
    ask141) echo "dialog 141 opens (apply of a title over 30 bytes)" ;;
    yes) echo "dialog 141 answered はい: the file in the RMP form" ;;
    no) echo "dialog 141 answered いいえ: the record's 30 bytes" ;;
    load) echo "load of another file picked in the File menu" ;;
    rename) echo "rename by F12" ;;
    renamed) echo "  of which from the editor taking the key" ;;
    ask_discard) echo "discard question opens (a load over a change)" ;;
    discard) echo "discard question answered はい: the other file shown" ;;
  esac
}
echo
echo "$rounds rounds each, ms from the input to the file and the window updated"
printf '%21s %21s   %s\n' "base $base" "this tree" "action"
printf '%10s %10s %10s %10s\n' median max median max
goals=()
for row in "${rows[@]}"; do
  read -r bm bx bl bh bn < <(samples "$work/times.txt" base "$row" | stats)
  read -r nm nx nl nh nn < <(samples "$work/times.txt" now "$row" | stats)
  printf '%10s %10s %10s %10s   %s\n' "$bm" "$bx" "$nm" "$nx" "$(label "$row")"
  [[ $row == look ]] && continue  # no action: what a time can be told to
  # The noise: the larger of the spreads of the times (their interquartile ranges) and of the
  # moves of a median between the first and the second half of the rounds, at least 1 ms.
  noise=$(awk -v a="$(calc '%.2f' "$bh - $bl")" -v b="$(calc '%.2f' "$nh - $nl")" \
              -v c="$(samples "$work/times.txt" base "$row" | halves)" \
              -v d="$(samples "$work/times.txt" now "$row" | halves)" \
              'BEGIN { n = 1; if (a > n) n = a; if (b > n) n = b; if (c > n) n = c; if (d > n) n = d; printf "%.2f", n }')
  goals+=("$(if awk -v x="$nx" 'BEGIN { exit !(x < 50) }'; then echo PASS; else echo FAIL; fi) $(label "$row" | sed 's/^ *//'): the slowest of $nn took $nx ms (goal: under 50 ms)")
  goals+=("$(if awk -v n="$nm" -v b="$bm" -v z="$noise" 'BEGIN { exit !(n - b <= z) }'; then echo PASS; else echo FAIL; fi) $(label "$row" | sed 's/^ *//'): median $nm ms, the base's $bm ms (goal: not slower by more than the noise, $noise ms)")
done
echo
printf '%s\n' "${goals[@]}"

# The same dialog with Wine's default: the X11 driver waits for a window manager that is not
# there each time a dialog closes.
echo
trap 'reg add "$x11_key" /v Managed /d N /f || true' EXIT  # "N" again, however the check ends
reg delete "$x11_key" /v Managed /f || true
check_rounds=3
echo "check: X11 Driver Managed = $(managed_value); $check_rounds rounds of dialog 141 answered はい, this tree"
drive "$work/managed-default.txt" "$check_rounds" yes now "$now_exe" || true
reg add "$x11_key" /v Managed /d N /f
trap - EXIT
read -r dm dx _ < <(samples "$work/managed-default.txt" now yes | stats)
read -r nm _ < <(samples "$work/times.txt" now yes | stats)
echo "check: Managed unset: median $dm ms, max $dx ms; Managed = $(managed_value): median $nm ms"
if awk -v d="$dm" -v n="$nm" 'BEGIN { exit !(d - n > 1000) }'; then
  echo "PASS \"Managed\" = \"N\" takes $(awk -v d="$dm" -v n="$nm" 'BEGIN { printf "%.0f", d - n }') ms off each answer"
else
  echo "FAIL \"Managed\" unset made no wait of a second or more here ($dm ms against $nm ms)"
fi
