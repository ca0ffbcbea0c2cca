#!/usr/bin/env bash
# `tagzo-cli set --title X FILE` as a script runs it on one file at a time: one process per
# file over FILES small MP3 files (20 KB, each with an ID3v1 record, each process on a file of
# its own), against the floor started the same way: `io_floor --locked FILE`, a static program
# that makes the system calls of set on one file and nothing else (the open and its fstat, the
# lock, the look at the name, a read at each end, the write, the close). Goal: at most 1.15
# times the floor's time. Each round works on fresh copies of the same files, a set of its own
# for each program, which take turns by 100 files (the order turning each time), so that a
# change in the machine's other load falls on all of them alike; a program's time in a round
# is the sum of its turns. Then counts for one process of each: its system calls
# (strace), and its page faults and peak memory (perf stat, else GNU time, when there).
# Prints PASS/FAIL; exits 0 either way, and non-zero only when a tool failed.
#   bench/one_file_set.sh [--cli PATH] [--tmp DIR]
#   FILES=N (default 1000), ROUNDS=N (default 5): the median of the rounds is reported.
#   BASE_CLI=PATH also times a tagzo-cli of an earlier commit the same way, in the same rounds.
#   FLOOR=PATH another floor program in io_floor's place (default: io_floor beside tagzo-cli,
#   linked as tagzo-cli is), e.g. io_floor.cpp linked with a plain -static.
set -euo pipefail
# shellcheck source=bench/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
bench_parse_args "$@"
need_command strace strace
need_command python3 python3
bench_make_work one_file_set

FILES=${FILES:-1000}
ROUNDS=${ROUNDS:-5}
FLOOR=${FLOOR:-"$(dirname "$CLI")/io_floor"}
if [[ ! -x $FLOOR ]]; then
  echo "$(basename "$0"): no floor program at $FLOOR (cmake --build --preset native --target io_floor)" >&2
  exit 2
fi
FLOOR=$(realpath "$FLOOR")
PRISTINE="$WORK/pristine"
RUN="$WORK/run"
mkdir -p "$PRISTINE"
make_mp3 "$WORK/master.mp3" 20000
# Named by number from 0, so that the files of each turn of 100 share the name's start.
for ((i = 0; i < FILES; i++)); do cp "$WORK/master.mp3" "$(printf '%s/f%05d.mp3' "$PRISTINE" "$i")"; done
sync
TURNS=$(((FILES + 99) / 100))

q() { printf '%q' "$1"; }
# Each program, and its options (words without spaces) before the FILE.
names=("tagzo-cli set --title X FILE" "floor: io_floor --locked FILE")
exes=("$CLI" "$FLOOR")
opts=("set --title X" "--locked")
if [[ -n ${BASE_CLI:-} ]]; then
  names+=("BASE_CLI set --title X FILE")
  exes+=("$(realpath "$BASE_CLI")")
  opts+=("set --title X")
fi
ERRORS="$WORK/errors.log"
: >"$ERRORS"
# One process per file, each started by the shell's loop as a script starts it: the loop of
# program k over its files of turn t.
turn() {  # k t
  # shellcheck disable=SC2016 # $f is the loop's, expanded by sh
  printf 'for f in %s/f%03d??.mp3; do %s %s "$f" 2>>%s || { echo "failed on $f" >>%s; exit 1; }; done' \
    "$(q "$RUN/$1")" "$2" "$(q "${exes[$1]}")" "${opts[$1]}" "$(q "$ERRORS")" "$(q "$ERRORS")"
}

# Every file of program k's last run must end in a record whose title is X.
verify() { verify_titles "$RUN/$1" "$FILES" "${names[$1]}"; }  # k

echo "== set --title X on $FILES files of 20 KB, one process per file, $ROUNDS rounds (scratch folder $WORK)"
declare -A times
n=${#exes[@]}
for ((r = 0; r < ROUNDS; r++)); do
  rm -rf "$RUN"
  mkdir -p "$RUN"
  for k in "${!exes[@]}"; do cp -r "$PRISTINE" "$RUN/$k"; done
  sync
  declare -a sum=()
  for k in "${!exes[@]}"; do sum[k]=0; done
  for ((t = 0; t < TURNS; t++)); do
    for ((j = 0; j < n; j++)); do
      k=$(((j + t + r) % n))
      t0=$(now)
      sh -c "$(turn "$k" "$t")" || { echo "${names[k]} failed:" >&2; cat "$ERRORS" >&2; exit 1; }
      t1=$(now)
      sum[k]=$(calc '%.6f' "${sum[k]} + $(elapsed "$t0" "$t1")")
    done
  done
  for k in "${!exes[@]}"; do
    verify "$k"
    times[$k]="${times[$k]:-} ${sum[k]}"
  done
done
rm -rf "$RUN"

declare -a medians
for k in "${!exes[@]}"; do
  # shellcheck disable=SC2086
  medians[k]=$(median ${times[$k]})
  printf '   %-32s rounds (s):%s\n' "${names[k]}" "${times[$k]}"
done
printf '%-32s %10s %16s %14s\n' program "median s" "per process ms" "over the floor"
for k in "${!exes[@]}"; do
  printf '%-32s %10.3f %16.3f %14.2f\n' "${names[k]}" "${medians[k]}" "$(calc '%.4f' "${medians[k]} * 1000 / $FILES")" \
    "$(calc '%.4f' "${medians[k]} / ${medians[1]}")"
done
ratio=$(calc '%.2f' "${medians[0]} / ${medians[1]}")
verdict=$(awk -v r="$ratio" 'BEGIN { print (r <= 1.15) ? "PASS" : "FAIL" }')
printf 'one process per file, time of tagzo-cli set over that of the floor: %s  %s (goal: 1.15 or less)\n' "$ratio" "$verdict"

# The counts of one process each, on a fresh file: where a difference in time comes from.
echo "== one process each: system calls, page faults, peak memory"
one="$WORK/one.mp3"
trace="$WORK/trace"
for k in "${!exes[@]}"; do
  # shellcheck disable=SC2206 # the options are words without spaces
  words=("${exes[k]}" ${opts[k]})
  cp "$WORK/master.mp3" "$one"
  strace -qq -o "$trace" "${words[@]}" "$one"
  calls=$(grep -vc '^+++' "$trace")
  after_start=$(awk '/openat\(.*one\.mp3/ { on = 1 } on && !/^\+\+\+/ { n++ } END { print n + 0 }' "$trace")
  faults="" peak=""
  if command -v perf >/dev/null 2>&1 &&
     perf stat -x, -r 50 -e page-faults --pre "cp $(q "$WORK/master.mp3") $(q "$one")" "${words[@]}" "$one" \
       2>"$WORK/perf.csv" >/dev/null; then
    faults=$(awk -F, '/page-faults/ { printf "%.0f", $1 }' "$WORK/perf.csv")
  fi
  if [[ -x /usr/bin/time ]]; then
    cp "$WORK/master.mp3" "$one"
    /usr/bin/time -f '%M %R' -o "$WORK/time.out" "${words[@]}" "$one"
    peak=$(awk '{ print $1 }' "$WORK/time.out")
    [[ -n $faults ]] || faults="$(awk '{ print $2 }' "$WORK/time.out") (GNU time)"
  fi
  printf '   %-32s %3d system calls (%d from the open of the file to the exit), page faults %s, peak memory %s KiB\n' \
    "${names[k]}" "$calls" "$after_start" "${faults:-?}" "${peak:-?}"
done
