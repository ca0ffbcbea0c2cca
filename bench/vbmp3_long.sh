#!/usr/bin/env bash
# vbmp3.dll on long files under Wine, this tree against the library of an earlier commit, in
# one run:
#   bench/vbmp3_long.sh [BASE] [SECONDS]
# BASE (default: the commit before the library read files from disk) is built in a git worktree
# with the same toolchain; SECONDS (default 20) is how long each file plays before the seek near
# its end. The files, made here and removed or kept under build/<preset>/bench-long, never
# committed:
#   - 30 minutes at 320 kbit/s (72 MB), made with sox and lame (kept for the next run);
#   - a file over 2^31 bytes of bare frames (60 s at 320 kbit/s, without a Xing header, repeated),
#     so that only the walk of the frames can tell its length and every signed 32-bit offset
#     breaks (removed at the end).
# For each: the open's time, the total it gives and when the walk refines it, a seek at once
# (before the walk has got there), the process's extra memory after the open and while it
# plays (private memory, counted from after a short warm-up play that loads Wine's audio code),
# CPU while playing, a seek 10 s before the end and the play to the end.
# Goals: the open under 30 ms, the extra memory while playing under 4 MiB whatever the file's
# size, CPU while playing no higher than before (within a tenth, the measurement's noise). Each
# run also plays its short warm-up file once more: what any play takes under Wine, whatever the
# file and the library.
# Build first: cmake --build --preset windows (windows64 where 32-bit programs cannot run).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$root/tools/windows-build.sh"
source "$root/bench/lib.sh"
pick_windows_build
echo "vbmp3_long: build/$win_preset ($win_why)"
bin=$root/build/$win_preset/bin
[[ -x $bin/vbmp3_bench.exe && -f $bin/vbmp3.dll ]] || { echo "vbmp3_long: build the $win_preset preset first" >&2; exit 1; }
seconds=${2:-20}
base=${1:-$(git -C "$root" log --diff-filter=A --format=%H -- vbmp3/stream.cpp | tail -n 1)~1}
base=$(git -C "$root" rev-parse --short "$base")
work=$root/build/$win_preset/bench-long
mkdir -p "$work"

# The earlier library, built once per commit in a worktree of its own.
base_dll=$work/base-$base/vbmp3.dll
build_at_commit vbmp3_long "$base" vbmp3 vbmp3.dll "$base_dll" "$work"
# The same bench program beside each library.
for who in base now; do
  mkdir -p "$work/$who"
  cp "$bin/vbmp3_bench.exe" "$work/$who/"
done
cp "$base_dll" "$work/base/"
cp "$bin/vbmp3.dll" "$work/now/"

encode() {  # seconds bitrate out [lame options]: a chord over pink noise, so the encoder uses its bits
  local s=$1 rate=$2 out=$3
  shift 3
  sox -V1 -n -r 44100 -c 2 -b 16 -e signed -t raw - synth "$s" pinknoise synth "$s" sine mix 440 \
    synth "$s" sine mix 660 vol 0.5 |
    lame --quiet -r -s 44.1 --signed --little-endian --bitwidth 16 -b "$rate" "$@" - "$out" 2>"$work/lame.log" ||
    { cat "$work/lame.log" >&2; exit 1; }
}
long=$work/long-30min-320k.mp3
[[ -f $long ]] || encode 1800 320 "$long"
warm=$work/warm-up.mp3
[[ -f $warm ]] || encode 2 128 "$warm"
big=$work/over-2GiB.mp3
trap 'kill ${NULL_SOUND_PID:-} 2>/dev/null || true; rm -f "$big" "$work/bare.mp3"' EXIT
encode 60 320 "$work/bare.mp3" -t  # -t: no Xing/Info frame
copies=$(( (1 << 31) / $(stat -c %s "$work/bare.mp3") + 2 ))
for ((i = 0; i < copies; i++)); do cat "$work/bare.mp3"; done >"$big"
echo "files: $(stat -c %s "$long") bytes (30 min); $(stat -c %s "$big") bytes ($copies x 60 s of bare frames)"

# A prefix of the bench's own, so that no test's programs run beside it.
export TAGZO_WINEPREFIX=$work/wineprefix TAGZO_DISPLAY=:95
unset DISPLAY
"$root/tools/wine-run.sh" --boot "$work/now/vbmp3_bench.exe" >/dev/null
start_null_sound "$work"
winpath() { printf 'Z:%s' "${1//\//\\}"; }

declare -A result
run() {  # file who round
  local file=$1 who=$2 round=$3 path=${!1} walk=0 log rc=0 key=$1-$2
  [[ $who == now ]] && walk=1
  log=$work/$file-$who-$round.log
  "$root/tools/wine-run.sh" "$work/$who/vbmp3_bench.exe" --long "$(winpath "$path")" "$(winpath "$warm")" \
    "$seconds" "$walk" >"$log" 2>&1 || rc=$?
  ((rc == 0)) || echo "$file/$who: the bench program ended with status $rc"
  echo "--- $([[ $file == long ]] && echo "30 min, 72 MB" || echo "over 2^31 bytes"), library of" \
       "$([[ $who == base ]] && echo "$base" || echo "this tree"), run $round:"
  tr -d '\0' <"$log" | grep -E '^(any play:|open:|seek |walk:|playing:|end:)' | sed 's/^/  /'
  # The worst open and memory of the runs, the mean CPU.
  local open memory floor cpu
  open=$(tr -d '\0' <"$log" | sed -n 's/^open: \([0-9.]*\) ms.*/\1/p')
  memory=$(tr -d '\0' <"$log" | sed -n 's/.*extra memory at most \([0-9-]*\) KiB.*/\1/p')
  floor=$(tr -d '\0' <"$log" | sed -n 's/^any play:.* \([0-9-]*\) KiB.*/\1/p')
  cpu=$(tr -d '\0' <"$log" | sed -n 's/^playing:.*(\([0-9.]*\) % of one core).*/\1/p')
  result[$key-open]=$(awk -v a="${result[$key-open]:-0}" -v b="${open:-0}" 'BEGIN { print (b > a ? b : a) }')
  result[$key-memory]=$(awk -v a="${result[$key-memory]:-0}" -v b="${memory:-0}" 'BEGIN { print (b > a ? b : a) }')
  result[$key-floor]=$(awk -v a="${result[$key-floor]:-0}" -v b="${floor:-0}" 'BEGIN { print (b > a ? b : a) }')
  result[$key-cpu]=$(awk -v a="${result[$key-cpu]:-0}" -v b="${cpu:-0}" -v n="$rounds" 'BEGIN { print a + b / n }')
}
# The 72 MB file in turns, ROUNDS times each (default 2): the machine's other load then falls on
# both libraries alike. The file over 2^31 bytes once (the earlier library cannot open it).
rounds=${ROUNDS:-2}
for ((r = 1; r <= rounds; r++)); do
  run long base "$r"
  run long now "$r"
done
run big base 1
run big now 1

verdict() {  # condition text
  if awk "BEGIN { exit !($1) }"; then echo "PASS $2"; else echo "FAIL $2"; fi
}
open=${result[long-now-open]} memory=${result[long-now-memory]} floor=${result[long-now-floor]}
verdict "$open < 30" "the open of the 72 MB file takes $open ms (goal < 30 ms; before: ${result[long-base-open]} ms)"
verdict "$memory < 4096" "extra memory while the 72 MB file plays: $memory KiB, of which any play under Wine takes $floor (goal < 4096 KiB; before: ${result[long-base-memory]} KiB)"
big_memory=${result[big-now-memory]}
verdict "$big_memory < 4096" "extra memory while the file over 2^31 bytes plays: $big_memory KiB, of which any play under Wine takes ${result[big-now-floor]} (goal < 4096 KiB)"
cpu=${result[long-now-cpu]} base_cpu=${result[long-base-cpu]}
verdict "$cpu <= $base_cpu * 1.1" "CPU while the 72 MB file plays: $cpu % of one core, mean of $rounds runs (before: $base_cpu %)"
