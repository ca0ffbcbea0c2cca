#!/usr/bin/env bash
# `tagzo-cli set --title X FILE` as a script runs it on one file at a time: one process per
# file over FILES small MP3 files (20 KB, each with an ID3v1 record, each process on a file of
# its own), against the floor started the same way: `io_floor --locked FILE`, a static program
# that makes the system calls of set on one file and nothing else (the open and its fstat, the
# lock, the look at the name, a read at each end, the write, the close). Goal: at most 1.15
# times the floor's time. Each round works on fresh copies of the same files, the order of the
# programs turning from round to round. Then counts for one process of each: its system calls
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
for ((i = 1; i <= FILES; i++)); do cp "$WORK/master.mp3" "$(printf '%s/f%05d.mp3' "$PRISTINE" "$i")"; done
sync

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
# One process per file, each started by the shell's loop as a script starts it.
cmds=()
for k in "${!exes[@]}"; do
  cmds+=("for f in $(q "$RUN")/*.mp3; do $(q "${exes[k]}") ${opts[k]} \"\$f\" 2>>$(q "$ERRORS") ||
            { echo \"failed on \$f\" >>$(q "$ERRORS"); exit 1; }; done")
done

# Every file of the last run must end in a record whose title is X.
verify() {  # name
  python3 - "$RUN" "$FILES" "$1" <<'EOF'
import os, sys
folder, want, name = sys.argv[1], int(sys.argv[2]), sys.argv[3]
files = sorted(os.listdir(folder))
bad = 0
for f in files:
    with open(os.path.join(folder, f), "rb") as fh:
        fh.seek(-128, 2)
        rec = fh.read(128)
    if rec[:3] != b"TAG" or rec[3:33].rstrip(b" \0") != b"X":
        bad += 1
if len(files) != want or bad:
    sys.exit(f"{name}: {bad} of {len(files)} files do not carry the title X")
EOF
}

echo "== set --title X on $FILES files of 20 KB, one process per file, $ROUNDS rounds (scratch folder $WORK)"
declare -A times
for ((r = 0; r < ROUNDS; r++)); do
  for ((j = 0; j < ${#cmds[@]}; j++)); do
    k=$(((j + r) % ${#cmds[@]}))
    rm -rf "$RUN" && cp -r "$PRISTINE" "$RUN" && sync
    t0=$(now)
    sh -c "${cmds[k]}" || { echo "${names[k]} failed:" >&2; cat "$ERRORS" >&2; exit 1; }
    t1=$(now)
    verify "${names[k]}"
    times[$k]="${times[$k]:-} $(elapsed "$t0" "$t1")"
  done
done

declare -a medians
for k in "${!cmds[@]}"; do
  # shellcheck disable=SC2086
  medians[k]=$(median ${times[$k]})
  printf '   %-32s rounds (s):%s\n' "${names[k]}" "${times[$k]}"
done
printf '%-32s %10s %16s %14s\n' program "median s" "per process ms" "over the floor"
for k in "${!cmds[@]}"; do
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
