#!/usr/bin/env bash
# Showing a whole collection: `tagzo-cli show -r --json` over FILES small MP3 files (4 KB, an
# ID3v1 record each, in folders of 100) in a tmpfs, against the floor: a walk of the same
# folders that opens each file and reads its last 128 bytes (walk_floor, built beside
# tagzo-cli). Goals: within 1.5 times the floor's time, and a peak memory that does not grow
# with the number of files (the run over FILES against one over a tenth of them).
# Prints PASS/FAIL for each goal; exits 0 either way, and non-zero only when a tool failed.
#   bench/collection_floor.sh [--cli PATH] [--tmp DIR]
#   FILES=N (default 100000), ROUNDS=N (default 3) runs of each in turns, the median is
#   reported; SHM=DIR the tmpfs (default /dev/shm).
set -euo pipefail
# shellcheck source=bench/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
bench_parse_args "$@"
need_command /usr/bin/time time
need_command python3 python3
FILES=${FILES:-100000}
ROUNDS=${ROUNDS:-3}
SHM=${SHM:-/dev/shm}
FLOOR="$(dirname "$CLI")/walk_floor"
if [[ ! -x $FLOOR ]]; then
  echo "$(basename "$0"): no walk_floor beside $CLI (cmake --build --preset native --target walk_floor)" >&2
  exit 2
fi
TMP_ROOT=$SHM bench_make_work "tagzo-collection-$$"
ALL="$WORK/all"
TENTH="$WORK/tenth"
echo "== show -r --json over $FILES files in $WORK, against a walk that reads each record"

# The files: the same 4 KB file under FILES names, the first tenth of them also in TENTH.
make_mp3 "$WORK/master.mp3" 4096
python3 - "$WORK/master.mp3" "$ALL" "$TENTH" "$FILES" <<'PY'
import os, sys
master, all_root, tenth_root, n = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
data = open(master, "rb").read()
for root, count in ((all_root, n), (tenth_root, n // 10)):
    for i in range(count):
        folder = os.path.join(root, "disc%04d" % (i // 100))
        if i % 100 == 0:
            os.makedirs(folder)
        with open(os.path.join(folder, "track%06d.mp3" % i), "wb") as f:
            f.write(data)
PY
count=$(find "$ALL" -name '*.mp3' | wc -l)
[[ $count -eq $FILES ]] || { echo "made $count files, not $FILES" >&2; exit 1; }
"$CLI" show --json "$ALL/disc0000/track000000.mp3" | grep -q '"form":"id3"' ||
  { echo "the test file does not load as ID3v1" >&2; exit 1; }

time_run() {  # command...; prints seconds
  local t0 t1
  t0=$(now)
  "$@" >/dev/null
  t1=$(now)
  elapsed "$t0" "$t1"
}
floor_times=() show_times=()
for ((r = 0; r < ROUNDS; r++)); do
  if ((r % 2)); then
    show_times+=("$(time_run "$CLI" show -r --json "$ALL")")
    floor_times+=("$(time_run "$FLOOR" "$ALL")")
  else
    floor_times+=("$(time_run "$FLOOR" "$ALL")")
    show_times+=("$(time_run "$CLI" show -r --json "$ALL")")
  fi
done
floor=$(median "${floor_times[@]}")
show=$(median "${show_times[@]}")
ratio=$(calc '%.2f' "$show / $floor")
printf '%-28s %8s %10s %12s\n' "run" "files" "median s" "files/s"
printf '%-28s %8d %10.3f %12.0f\n' "walk_floor (the floor)" "$FILES" "$floor" "$(calc '%f' "$FILES / $floor")"
printf '%-28s %8d %10.3f %12.0f\n' "tagzo-cli show -r --json" "$FILES" "$show" "$(calc '%f' "$FILES / $show")"

peak() {  # folder; prints the peak memory of show -r --json over it, in KiB
  /usr/bin/time -f '%M' -o "$WORK/peak" "$CLI" show -r --json "$1" >/dev/null
  cat "$WORK/peak"
}
peak_tenth=$(peak "$TENTH")
peak_all=$(peak "$ALL")
echo "peak memory: $peak_tenth KiB over $(find "$TENTH" -name '*.mp3' | wc -l) files, $peak_all KiB over $FILES"

if awk -v r="$ratio" 'BEGIN { exit !(r <= 1.5) }'; then
  echo "PASS speed: show -r --json takes $ratio times the floor's time (goal <= 1.5)"
else
  echo "FAIL speed: show -r --json takes $ratio times the floor's time (goal <= 1.5)"
fi
# Growth with the files would show as about ten times the tenth's; a megabyte is noise.
if ((peak_all <= peak_tenth + 1024)); then
  echo "PASS memory: the peak over $FILES files is within 1 MiB of the peak over a tenth of them"
else
  echo "FAIL memory: the peak grows with the number of files ($peak_tenth KiB -> $peak_all KiB)"
fi
