#!/usr/bin/env bash
# Reading and mending the ID3v2 tags of a collection, against the tools people use for it.
# First, reading: `tagzo-cli show -r --json` over FILES files with an ID3v2.3 tag (six texts,
# a track, a 30 KB picture) and a record, in nested folders, against `exiftool -j -r`, a
# mutagen loop in one python process, and kid3-cli, one process per file (it reads one file
# a call). Then, mending: `tagzo-cli repair -r` and `tagzo-cli export -r` over the same
# number of files whose texts are cp932 marked Latin-1, against `mid3iconv -e cp932` over the
# same files, each on fresh copies. Reports seconds and files per second, the median of ROUNDS.
#   bench/id3v2_vs_peers.sh [--cli PATH] [--tmp DIR]
#   FILES=N (default 1000), ROUNDS=N (default 3)
set -euo pipefail
# shellcheck source=bench/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
bench_parse_args "$@"
need_command exiftool libimage-exiftool-perl
need_command kid3-cli kid3-cli
need_command mid3iconv python3-mutagen
bench_make_work id3v2_vs_peers

FILES=${FILES:-1000}
ROUNDS=${ROUNDS:-3}
KID3_FILES=${KID3_FILES:-$((FILES < 100 ? FILES : 100))}
PY=/usr/bin/python3
READ="$WORK/read"
MEND="$WORK/mend"
RUN="$WORK/run"

# The two collections: FILES copies in folders of 100, one tag in Unicode, one mis-marked.
"$PY" "$BENCH_DIR/id3v2_files.py" "$READ" "$MEND" "$FILES"
sync
q() { printf '%q' "$1"; }
MUTAGEN_LOOP="import json, os, sys, mutagen.id3 as i
for root, _, names in sorted(os.walk(sys.argv[1])):
    for n in sorted(names):
        t = i.ID3(os.path.join(root, n))
        print(json.dumps({k: str(v) for k, v in t.items() if k[0] == 'T' or k.startswith('COMM')}, ensure_ascii=False))"

read_names=("tagzo-cli show -r --json" "exiftool -j -r" "mutagen loop, one process" "kid3-cli, one process per file")
read_cmds=(
  "$(q "$CLI") show -r --json $(q "$READ") >/dev/null"
  "exiftool -q -j -r -ext mp3 $(q "$READ") >/dev/null"
  "$PY -c $(q "$MUTAGEN_LOOP") $(q "$READ") >/dev/null"
  "find $(q "$READ") -name '*.mp3' | sort | head -n $KID3_FILES | tr '\\n' '\\0' | xargs -0 -n 1 kid3-cli -c 'get title 2' -c 'get artist 2' >/dev/null"
)
# kid3-cli takes a third of a second a file: it reads the first KID3_FILES only (default 100).
read_counts=("$FILES" "$FILES" "$FILES" "$KID3_FILES")
mend_counts=("$FILES" "$FILES" "$FILES")
mend_names=("tagzo-cli repair -r" "tagzo-cli export -r" "mid3iconv -e cp932")
mend_cmds=(
  "$(q "$CLI") repair -r $(q "$RUN") >/dev/null"
  "$(q "$CLI") export -r $(q "$RUN") >/dev/null 2>&1"
  "find $(q "$RUN") -name '*.mp3' -print0 | xargs -0 mid3iconv -q -e cp932"
)

run_set() {  # label prepare counts-array names... -- cmds...
  local label=$1 prepare=$2
  local -n counts=$3
  shift 3
  local -a names=() cmds=()
  while [[ $1 != -- ]]; do names+=("$1"); shift; done
  shift
  cmds=("$@")
  declare -A times=()
  time_rounds "$prepare"
  echo "== $label, median of $ROUNDS"
  printf '%-34s %7s %10s %12s\n' tool files "median s" "files/s"
  for k in "${!cmds[@]}"; do
    # shellcheck disable=SC2086
    m=$(median ${times[$k]})
    RATES[$label.$k]=$(calc '%.3f' "${counts[k]} / $m")
    printf '%-34s %7d %10.3f %12.0f\n' "${names[k]}" "${counts[k]}" "$m" "${RATES[$label.$k]}"
  done
}
declare -A RATES=()
run_set reading "" read_counts "${read_names[@]}" -- "${read_cmds[@]}"
fastest=$(printf '%s\n' "${RATES[reading.1]}" "${RATES[reading.2]}" "${RATES[reading.3]}" | sort -g | tail -1)
printf 'show -r --json against the fastest other reader: %s times as many files a second (goal: 10 or more)\n' \
  "$(calc '%.1f' "${RATES[reading.0]} / $fastest")"
run_set mending "rm -rf $(q "$RUN") && cp -r $(q "$MEND") $(q "$RUN") && sync" mend_counts "${mend_names[@]}" -- \
  "${mend_cmds[@]}"
