#!/usr/bin/env bash
# Setting the title of 1,000 small MP3 files (20 KB, each with an ID3v1 record): tagzo-cli
# against id3v2 -1 and id3tool, one process per file for all three, and tagzo-cli also with
# all files in one call, against the floor: a bare open/pread/pwrite/close loop over the same
# files in one process (io_floor, built beside tagzo-cli), the same loop with the calls of the
# write lock (io_floor --locked), and the loop as one process per file (what no tool that
# starts once per file can go below). Every run works on fresh copies of the same files. Reports
# files per second and the two goals (per process at most 0.6 of id3tool's time; in one call
# at most 1.25 times the floor's); uses hyperfine when it is installed, else plain timing.
#   bench/cli_vs_peers.sh [--cli PATH] [--tmp DIR]
#   FILES=N (default 1000), ROUNDS=N (default 3) runs of each, the median is reported;
#   HYPERFINE_OPTS: more options for hyperfine (e.g. --show-output);
#   BASE_CLI=PATH: also a tagzo-cli of an earlier commit, one process per file, in the same run.
set -euo pipefail
# shellcheck source=bench/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
bench_parse_args "$@"
need_command id3v2 id3v2
need_command id3tool id3tool
need_command python3 python3
bench_make_work cli_vs_peers

FILES=${FILES:-1000}
ROUNDS=${ROUNDS:-3}
PRISTINE="$WORK/pristine"
RUN="$WORK/run"
mkdir -p "$PRISTINE"
make_mp3 "$WORK/master.mp3" 20000
for ((i = 1; i <= FILES; i++)); do cp "$WORK/master.mp3" "$(printf '%s/f%05d.mp3' "$PRISTINE" "$i")"; done
sync

q() { printf '%q' "$1"; }
FLOOR="$(dirname "$CLI")/io_floor"
if [[ ! -x $FLOOR ]]; then
  echo "$(basename "$0"): no io_floor beside $CLI (cmake --build --preset native --target io_floor)" >&2
  exit 2
fi
names=("tagzo-cli, one process per file" "tagzo-cli, all files in one call" "id3v2 -1, one process per file"
       "id3tool, one process per file" "floor: open/pread/pwrite/close" "floor: io_floor, one process per file"
       "floor with the lock: io_floor --locked")
# A tool's complaints go to a log, which is shown when a run fails (hyperfine hides them).
ERRORS="$WORK/errors.log"
fail="{ echo \"failed on \$f\" >>$(q "$ERRORS"); exit 1; }"
cmds=(
  "for f in $(q "$RUN")/*.mp3; do $(q "$CLI") set --title X \"\$f\" 2>>$(q "$ERRORS") || $fail; done"
  "f=all; $(q "$CLI") set --title X $(q "$RUN")/*.mp3 2>>$(q "$ERRORS") || $fail"
  "for f in $(q "$RUN")/*.mp3; do id3v2 -1 -t X \"\$f\" 2>>$(q "$ERRORS") || $fail; done"
  "for f in $(q "$RUN")/*.mp3; do id3tool -t X \"\$f\" 2>>$(q "$ERRORS") || $fail; done"
  "f=all; $(q "$FLOOR") $(q "$RUN")/*.mp3 2>>$(q "$ERRORS") || $fail"
  "for f in $(q "$RUN")/*.mp3; do $(q "$FLOOR") \"\$f\" 2>>$(q "$ERRORS") || $fail; done"
  "f=all; $(q "$FLOOR") --locked $(q "$RUN")/*.mp3 2>>$(q "$ERRORS") || $fail"
)
if [[ -n ${BASE_CLI:-} ]]; then
  names+=("tagzo-cli of BASE_CLI, one process per file")
  cmds+=("for f in $(q "$RUN")/*.mp3; do $(q "$BASE_CLI") set --title X \"\$f\" 2>>$(q "$ERRORS") || $fail; done")
fi
: >"$ERRORS"
failed() {  # name
  echo "$1 failed:" >&2
  cat "$ERRORS" >&2
  exit 1
}
prepare="rm -rf $(q "$RUN") && cp -r $(q "$PRISTINE") $(q "$RUN") && sync"

# Every file of the last run must end in a record whose title is X.
verify() { verify_titles "$RUN" "$FILES" "$1"; }  # name

echo "== setting the title of $FILES files of 20 KB (scratch folder $WORK)"
declare -a medians
if command -v hyperfine >/dev/null 2>&1; then
  echo "timing with hyperfine, $ROUNDS runs each"
  for k in "${!cmds[@]}"; do
    json="$WORK/hyperfine-$k.json"
    # shellcheck disable=SC2086 # HYPERFINE_OPTS holds several words
    hyperfine --runs "$ROUNDS" --prepare "$prepare" --export-json "$json" ${HYPERFINE_OPTS:-} \
      --command-name "${names[k]}" "${cmds[k]}" >/dev/null || failed "${names[k]}"
    verify "${names[k]}"
    medians[k]=$(python3 -c 'import json, sys; print(json.load(open(sys.argv[1]))["results"][0]["median"])' "$json")
  done
else
  echo "timing with date (hyperfine is not installed), $ROUNDS rounds, the order turning each round"
  declare -A times
  for ((r = 0; r < ROUNDS; r++)); do
    for ((j = 0; j < ${#cmds[@]}; j++)); do
      k=$(((j + r) % ${#cmds[@]}))
      bash -c "$prepare"
      t0=$(now)
      sh -c "${cmds[k]}" || failed "${names[k]}"
      t1=$(now)
      verify "${names[k]}"
      times[$k]="${times[$k]:-} $(elapsed "$t0" "$t1")"
    done
  done
  for k in "${!cmds[@]}"; do
    # shellcheck disable=SC2086
    medians[k]=$(median ${times[$k]})
    printf '   %-34s rounds (s):%s\n' "${names[k]}" "${times[$k]}"
  done
fi
rm -rf "$RUN"

printf '%-34s %10s %12s\n' tool "median s" "files/s"
for k in "${!cmds[@]}"; do
  printf '%-34s %10.3f %12.0f\n' "${names[k]}" "${medians[k]}" "$(calc '%.1f' "$FILES / ${medians[k]}")"
done
# The goals: per process at most 0.6 of id3tool's time, and in one call at most 1.25 times the
# floor's. The floor per process tells how much of a run per file the starting of processes is.
printf 'per process, time of tagzo-cli over that of id3tool: %s (goal: 0.60 or less)\n' "$(calc '%.2f' "${medians[0]} / ${medians[3]}")"
printf 'per process, time over that of the floor: tagzo-cli %s, id3tool %s\n' \
  "$(calc '%.2f' "${medians[0]} / ${medians[5]}")" "$(calc '%.2f' "${medians[3]} / ${medians[5]}")"
printf 'in one call, time of tagzo-cli over that of the floor: %s (goal: 1.25 or less)\n' "$(calc '%.2f' "${medians[1]} / ${medians[4]}")"
# The lock, the look at the name and the read of the head are calls that the change keeps on
# purpose; the floor with them tells how much of the rest is tagzo-cli's own work.
printf 'in one call, time over that of the floor with the lock: tagzo-cli %s; the floor with the lock over the floor: %s\n' \
  "$(calc '%.2f' "${medians[1]} / ${medians[6]}")" "$(calc '%.2f' "${medians[6]} / ${medians[4]}")"
if [[ -n ${BASE_CLI:-} ]]; then
  printf 'per process, time of the BASE_CLI tagzo-cli over that of id3tool: %s\n' "$(calc '%.2f' "${medians[7]} / ${medians[3]}")"
fi
