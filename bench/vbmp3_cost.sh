#!/usr/bin/env bash
# CPU time and memory of playing one minute of 128 kbit/s stereo through vbmp3.dll under Wine.
# Wine plays to a PulseAudio server of our own with a null sink, which keeps real time; no
# sound card is needed. Build first: cmake --build --preset windows (the product; windows64
# where this machine cannot run 32-bit programs, or with TAGZO_WINDOWS_TESTS=64).
#   bench/vbmp3_cost.sh [SECONDS]      (default 60)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$root/tools/windows-build.sh"
source "$root/bench/lib.sh"
pick_windows_build
echo "vbmp3_cost: build/$win_preset ($win_why)"
bin=$root/build/$win_preset/bin
seconds=${1:-60}
work=$root/build/$win_preset/bench-vbmp3
mkdir -p "$work"
[[ -x $bin/vbmp3_bench.exe && -f $bin/vbmp3.dll ]] || { echo "vbmp3_cost: build the $win_preset preset first" >&2; exit 1; }
mp3=$work/minute-$seconds.mp3
if [[ ! -f $mp3 ]]; then
  # Music-like content: a chord over pink noise, so the encoder uses its bits.
  sox -q -n -r 44100 -c 2 -b 16 "$work/minute.wav" synth "$seconds" pinknoise synth "$seconds" sine mix 440 \
    synth "$seconds" sine mix 660 vol 0.5
  lame --quiet -b 128 "$work/minute.wav" "$mp3"
  rm -f "$work/minute.wav"
fi
start_null_sound "$work"
trap 'kill $NULL_SOUND_PID 2>/dev/null || true' EXIT
win=$(printf 'Z:%s' "${mp3//\//\\}")
for mode in ${MODES:-0 1 2}; do
  rc=0
  "$root/tools/wine-run.sh" "$bin/vbmp3_bench.exe" "$win" "$mode" >"$work/mode$mode.log" 2>&1 || rc=$?
  ((rc == 0)) || echo "mode $mode: the bench program ended with status $rc"
  tr -d '\0' <"$work/mode$mode.log" | grep -E '^(memory|mode)'
done
