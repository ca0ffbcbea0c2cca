#!/usr/bin/env bash
# The safety that group commit must keep: `tagzo-cli repair -r` over FILES files (as in
# bench/rewrite_batch.sh) killed KILLS times at random points of its run. After each kill every
# file must be byte for byte as it was or as a whole run leaves it, and after the next command
# (the same repair, run to its end) every file mended and nothing of ours left beside them.
# Prints the damaged files and orphans counted, and PASS/FAIL; exits 1 on FAIL.
#   bench/rewrite_kills.sh [--cli PATH] [--tmp DIR]
#   FILES=N (default 1000), KILLS=N (default 100)
set -euo pipefail
# shellcheck source=bench/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
bench_parse_args "$@"
bench_make_work rewrite_kills

FILES=${FILES:-1000}
KILLS=${KILLS:-100}
MEND="$WORK/mend"
DONE="$WORK/done"
RUN="$WORK/run"
/usr/bin/python3 "$BENCH_DIR/id3v2_files.py" - "$MEND" "$FILES"
cp -r "$MEND" "$DONE"
t0=$(now)
"$CLI" repair -r "$DONE" >/dev/null
t1=$(now)
whole=$(elapsed "$t0" "$t1")
echo "== $KILLS kills of repair -r over $FILES files (a whole run: $whole s; scratch folder $WORK)"
old=$(md5sum <"$MEND/disc000/track00000.mp3" | cut -d' ' -f1)
new=$(md5sum <"$DONE/disc000/track00000.mp3" | cut -d' ' -f1)

damaged=0 orphans=0 cut=0
for ((k = 1; k <= KILLS; k++)); do
  rm -rf "$RUN" && cp -r "$MEND" "$RUN"
  delay=$(awk -v s="$RANDOM" -v w="$whole" 'BEGIN { srand(s); printf "%.4f", rand() * w * 1.1 }')
  "$CLI" repair -r "$RUN" >/dev/null 2>&1 &
  pid=$!
  sleep "$delay"
  kill -9 "$pid" 2>/dev/null && cut=$((cut + 1)) || true
  wait "$pid" 2>/dev/null || true
  # Every file whole: its old bytes or its new ones (all files are alike, so two sums).
  bad=$(find "$RUN" -name '*.mp3' -print0 | xargs -0 md5sum | awk -v o="$old" -v n="$new" '$1 != o && $1 != n' | wc -l)
  damaged=$((damaged + bad))
  "$CLI" repair -r "$RUN" >/dev/null
  left=$(find "$RUN" -name '.tagzo-*' | wc -l)
  orphans=$((orphans + left))
  unmended=$(find "$RUN" -name '*.mp3' -print0 | xargs -0 md5sum | awk -v n="$new" '$1 != n' | wc -l)
  damaged=$((damaged + unmended))
  ((bad + left + unmended == 0)) || echo "kill $k after ${delay}s: $bad damaged, $left left over, $unmended not mended after" >&2
done
echo "killed mid-run: $cut of $KILLS; damaged files: $damaged; orphans after the next command: $orphans"
if ((damaged + orphans == 0)); then echo PASS; else echo FAIL; exit 1; fi
