#!/usr/bin/env bash
# Batches that rewrite every file, against the tool people mend such tags with: `tagzo-cli
# repair -r` and `tagzo-cli export -r` over FILES files whose ID3v2 texts are cp932 marked
# Latin-1 (bench/id3v2_files.py), against `mid3iconv -e cp932` over the same files, each run
# on fresh copies. mid3iconv rewrites its files in place without a flush; tagzo-cli writes
# each file new, on the disk, before it takes the old one's name. Goal: repair -r at 1.5 times
# mid3iconv's files per second or more. Also times `set -r --no-id3v2` with a title too long for
# ID3v1, which converts every file into the RMP form (a rewrite too, with nothing to compare).
# Reports seconds and files per second, medians of ROUNDS.
#   bench/rewrite_batch.sh [--cli PATH] [--tmp DIR]
#   FILES=N (default 1000), ROUNDS=N (default 3)
#   BASE_CLI=PATH also times a tagzo-cli of an earlier commit the same way, in the same rounds.
set -euo pipefail
# shellcheck source=bench/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
bench_parse_args "$@"
need_command mid3iconv python3-mutagen
bench_make_work rewrite_batch

FILES=${FILES:-1000}
ROUNDS=${ROUNDS:-3}
MEND="$WORK/mend"
RUN="$WORK/run"
/usr/bin/python3 "$BENCH_DIR/id3v2_files.py" - "$MEND" "$FILES"
q() { printf '%q' "$1"; }

# Twenty kanji: 60 bytes in code page 932, past the record's 30.
convert="set -r --no-id3v2 --title $(q "$(printf '変%.0s' {1..20})") $(q "$RUN") >/dev/null 2>&1"
names=("tagzo-cli repair -r" "tagzo-cli export -r" "tagzo-cli set -r, RMP form")
cmds=("$(q "$CLI") repair -r $(q "$RUN") >/dev/null" "$(q "$CLI") export -r $(q "$RUN") >/dev/null 2>&1"
  "$(q "$CLI") $convert")
if [[ -n ${BASE_CLI:-} ]]; then
  base=$(realpath "$BASE_CLI")
  names+=("repair -r of BASE_CLI" "export -r of BASE_CLI" "set -r, RMP form, of BASE_CLI")
  cmds+=("$(q "$base") repair -r $(q "$RUN") >/dev/null" "$(q "$base") export -r $(q "$RUN") >/dev/null 2>&1"
    "$(q "$base") $convert")
fi
names+=("mid3iconv -e cp932")
cmds+=("find $(q "$RUN") -name '*.mp3' -print0 | xargs -0 mid3iconv -q -e cp932")

declare -A times=()
time_rounds "rm -rf $(q "$RUN") && cp -r $(q "$MEND") $(q "$RUN") && sync"
echo "== rewriting $FILES files, median of $ROUNDS (scratch folder $WORK)"
printf '%-30s %10s %12s\n' tool "median s" "files/s"
declare -a rate=()
for k in "${!cmds[@]}"; do
  # shellcheck disable=SC2086
  m=$(median ${times[$k]})
  rate[k]=$(calc '%.3f' "$FILES / $m")
  printf '%-30s %10.3f %12.0f\n' "${names[k]}" "$m" "${rate[k]}"
done
last=$((${#cmds[@]} - 1))
ratio=$(calc '%.2f' "${rate[0]} / ${rate[last]}")
verdict=$(awk -v r="$ratio" 'BEGIN { print (r >= 1.5) ? "PASS" : "FAIL" }')
echo "repair -r against mid3iconv: $ratio times its files per second (goal 1.5 or more): $verdict"
