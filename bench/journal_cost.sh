#!/usr/bin/env bash
# What the undo journal costs a batch that rewrites files: `export -r` over 200 files of 5 MB,
# with `--journal` and without, in the same run, each round on fresh copies of the same files.
# Goal: with the journal at most 1.2 times the time without. Also times the `undo` of the
# journaled run and prints the journal's size and what it keeps beside it.
# Prints PASS/FAIL; exits 0 either way, and non-zero only when a tool failed.
#   bench/journal_cost.sh [--cli PATH] [--tmp DIR]
#   FILES=N (default 200), SIZE_MB=N (default 5), ROUNDS=N (default 3).
#   BASE_CLI=PATH also times a tagzo-cli of an earlier commit the same way, in the same rounds.
set -euo pipefail
# shellcheck source=bench/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
bench_parse_args "$@"
bench_make_work journal_cost

FILES=${FILES:-200}
SIZE_MB=${SIZE_MB:-5}
ROUNDS=${ROUNDS:-3}
SIZE=$((SIZE_MB * 1000 * 1000))

echo "== export -r over $FILES files of $SIZE_MB MB, with and without a journal (scratch folder $WORK)"
mkdir -p "$WORK/source"
for ((i = 0; i < FILES; i++)); do make_mp3 "$WORK/source/$(printf '%04d' $i).mp3" "$SIZE"; done

fresh() {  # a fresh copy of the source tree as WORK/tree, on the disk, nothing of the last run
  rm -rf "$WORK/tree" "$WORK"/journal*
  cp -r "$WORK/source" "$WORK/tree"
  sync
}

time_export() {  # cli [journal] -> seconds
  local cli=$1 t0 t1
  fresh
  t0=$(now)
  if [[ -n ${2:-} ]]; then
    "$cli" export -r --journal "$2" "$WORK/tree" >/dev/null
  else
    "$cli" export -r "$WORK/tree" >/dev/null
  fi
  t1=$(now)
  elapsed "$t0" "$t1"
}

time_undo() {  # cli journal -> seconds, after time_export with that journal
  local t0 t1
  t0=$(now)
  "$1" undo "$2" >/dev/null
  t1=$(now)
  cmp -s "$WORK/tree/0000.mp3" "$WORK/source/0000.mp3" || { echo "undo did not put 0000.mp3 back" >&2; exit 1; }
  elapsed "$t0" "$t1"
}

clis=("$CLI")
names=(now)
if [[ -n ${BASE_CLI:-} ]]; then clis+=("$(realpath "$BASE_CLI")"); names+=(base); fi

declare -A plain with undo
for ((r = 1; r <= ROUNDS; r++)); do
  for k in "${!clis[@]}"; do
    c=${clis[$k]} n=${names[$k]}
    ((r % 2)) && a=$(time_export "$c")
    b=$(time_export "$c" "$WORK/journal.tzj")
    jsize=$(stat -c %s "$WORK/journal.tzj")
    u=$(time_undo "$c" "$WORK/journal.tzj")
    ((r % 2)) || a=$(time_export "$c")
    plain[$n]+="$a " with[$n]+="$b " undo[$n]+="$u "
    printf '%-5s round %d: without %8.3f s   with %8.3f s   undo %8.3f s   journal %d bytes\n' "$n" "$r" "$a" "$b" "$u" "$jsize"
  done
done

for n in "${names[@]}"; do
  # shellcheck disable=SC2086
  mp=$(median ${plain[$n]}); mw=$(median ${with[$n]}); mu=$(median ${undo[$n]})
  ratio=$(calc '%.2f' "$mw / $mp")
  verdict=$(awk -v r="$ratio" 'BEGIN { print (r <= 1.2) ? "PASS" : "FAIL" }')
  printf '%-5s medians: without %.3f s, with the journal %.3f s (%.2f times), undo %.3f s  %s (goal 1.2 or less)\n' \
    "$n" "$mp" "$mw" "$ratio" "$mu" "$verdict"
done
