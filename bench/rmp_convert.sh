#!/usr/bin/env bash
# Converting a 200 MB file to the RMP form, measured against a plain cp of the same file in
# the same run. Goals: the conversion raises the peak memory of tagzo-cli by less than
# 16 MiB over a run on a tiny file, and runs at no less than the speed of cp.
# Prints PASS/FAIL for each goal; exits 0 either way, and non-zero only when a tool failed.
#   bench/rmp_convert.sh [--cli PATH] [--tmp DIR]
#   ROUNDS=N (default 7) rounds of cp and conversion, alternating which goes first.
#   SIZE_MB=N (default 200) size of the file in MB (10^6 bytes).
#   BASE_CLI=PATH also times the conversion of a tagzo-cli of an earlier commit, in the same rounds.
# A third goal: the conversion at 0.9 times the speed of cp followed by an fsync of the copy
# or more (the replace is flushed as today; the old file's blocks may be freed after it).
set -euo pipefail
# shellcheck source=bench/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
bench_parse_args "$@"
need_command /usr/bin/time time
bench_make_work rmp_convert

ROUNDS=${ROUNDS:-7}
SIZE_MB=${SIZE_MB:-200}
SIZE=$((SIZE_MB * 1000 * 1000))
TITLE="A title of forty bytes, for the RMP form"  # 40 bytes: more than the record's 30
[[ ${#TITLE} -eq 40 ]] || TITLE=${TITLE:0:40}

SRC="$WORK/source.mp3"
SMALL="$WORK/small.mp3"
echo "== converting a ${SIZE_MB} MB file to the RMP form, against cp (scratch folder $WORK)"
make_mp3 "$SRC" "$SIZE"
make_mp3 "$SMALL" 20000
"$CLI" show --json "$SRC" | grep -q '"form":"id3"' || { echo "the source file does not load as ID3v1" >&2; exit 1; }

# Leaves the file's bytes 8 to 11 to say RMP3, or fails.
check_rmp() {
  local head
  head=$(head -c 12 "$1" | tail -c 4)
  [[ $head == RMP3 ]] || { echo "tagzo-cli did not convert $1 (bytes 8-11: '$head')" >&2; exit 1; }
}

time_cp() {  # prints seconds
  rm -f "$WORK/cp.mp3"
  sync
  local t0 t1
  t0=$(now)
  cp "$SRC" "$WORK/cp.mp3"
  t1=$(now)
  elapsed "$t0" "$t1"
}

time_cp_fsync() {  # cp and an fsync of the copy, as the conversion syncs its new file
  rm -f "$WORK/cp.mp3"
  sync
  local t0 t1
  t0=$(now)
  cp "$SRC" "$WORK/cp.mp3"
  sync "$WORK/cp.mp3"
  t1=$(now)
  elapsed "$t0" "$t1"
}

time_convert() {  # [cli] -> seconds
  local cli=${1:-$CLI}
  rm -f "$WORK/work.mp3"
  cp "$SRC" "$WORK/work.mp3"
  sync
  local t0 t1
  t0=$(now)
  "$cli" set --title "$TITLE" "$WORK/work.mp3" || { echo "tagzo-cli set failed" >&2; exit 1; }
  t1=$(now)
  check_rmp "$WORK/work.mp3"
  elapsed "$t0" "$t1"
}

# One round untimed, so that neither side pays for a cold start.
time_cp >/dev/null
time_convert >/dev/null
rm -f "$WORK/cp.mp3" "$WORK/work.mp3"

cp_times=() conv_times=() cps_times=() ratios=() base_times=()
printf '%-6s %12s %12s %12s %8s\n' round "cp MB/s" "convert MB/s" "cp+fsync MB/s" ratio
for ((r = 1; r <= ROUNDS; r++)); do
  if ((r % 2)); then
    tc=$(time_cp); tv=$(time_convert)
  else
    tv=$(time_convert); tc=$(time_cp)
  fi
  ts=$(time_cp_fsync)
  [[ -z ${BASE_CLI:-} ]] || base_times+=("$(time_convert "$BASE_CLI")")
  rm -f "$WORK/cp.mp3" "$WORK/work.mp3"
  cp_times+=("$tc") conv_times+=("$tv") cps_times+=("$ts") ratios+=("$(calc '%.6f' "$tc / $tv")")
  printf '%-6s %12s %12s %12s %8s\n' "$r" "$(calc '%.1f' "$SIZE / 1e6 / $tc")" "$(calc '%.1f' "$SIZE / 1e6 / $tv")" \
    "$(calc '%.1f' "$SIZE / 1e6 / $ts")" "$(calc '%.3f' "$tc / $tv")"
done

mc=$(median "${cp_times[@]}")
mv=$(median "${conv_times[@]}")
ms=$(median "${cps_times[@]}")
cp_speed=$(calc '%.1f' "$SIZE / 1e6 / $mc")
conv_speed=$(calc '%.1f' "$SIZE / 1e6 / $mv")
cps_speed=$(calc '%.1f' "$SIZE / 1e6 / $ms")
ratio=$(calc '%.3f' "$mc / $mv")
echo "median of $ROUNDS rounds: cp $cp_speed MB/s (${mc} s), conversion $conv_speed MB/s (${mv} s), ratio $ratio"
echo "  (median of the rounds' own ratios: $(calc '%.3f' "$(median "${ratios[@]}")"))"
echo "  (for reference: cp followed by an fsync of the copy, $cps_speed MB/s, ratio $(calc '%.3f' "$ms / $mv");" \
  "the conversion syncs its new file)"
sync_ratio=$(calc '%.3f' "$ms / $mv")
echo "conversion against cp and an fsync: $sync_ratio times its speed (goal 0.9 or more):" \
  "$(awk -v r="$sync_ratio" 'BEGIN { print (r >= 0.9) ? "PASS" : "FAIL" }')"
if [[ -n ${BASE_CLI:-} ]]; then
  mb=$(median "${base_times[@]}")
  echo "  BASE_CLI's conversion: $(calc '%.1f' "$SIZE / 1e6 / $mb") MB/s (${mb} s), $(calc '%.3f' "$ms / $mb") times cp and an fsync"
fi

# Where a conversion's time goes: wall-clock time in the copy's reads and writes, the syncs
# and the rename that drops the old file (informational; needs strace).
if command -v strace >/dev/null 2>&1; then
  cp "$SRC" "$WORK/work.mp3"
  sync
  t0=$(now)
  strace -f -w -c -o "$WORK/calls.txt" -e trace=pread64,pwrite64,fsync,rename,renameat,renameat2 \
    "$CLI" set --title "$TITLE" "$WORK/work.mp3" >/dev/null
  t1=$(now)
  check_rmp "$WORK/work.mp3"
  rm -f "$WORK/work.mp3"
  awk -v total="$(elapsed "$t0" "$t1")" '
    $NF ~ /^(pread64|pwrite64|fsync|rename|renameat|renameat2)$/ { s[$NF] = $2; n[$NF] = $4 }
    END {
      printf "one conversion under strace, %.3f s: reads %.3f s (%d calls), writes %.3f s (%d calls), fsync %.3f s (%d), rename %.3f s\n",
        total, s["pread64"], n["pread64"], s["pwrite64"], n["pwrite64"], s["fsync"], n["fsync"],
        s["rename"] + s["renameat"] + s["renameat2"]
    }' "$WORK/calls.txt"
fi

# Peak memory (maximum resident set size, KiB) of tagzo-cli on a tiny file and on the
# conversion; the goal is on the difference.
peak_kib() {  # command...
  local out="$WORK/time.txt"
  /usr/bin/time -f %M -o "$out" "$@" >/dev/null || { echo "$* failed" >&2; exit 1; }
  tail -n 1 "$out"
}
cp "$SMALL" "$WORK/small-set.mp3"
cp "$SRC" "$WORK/work.mp3"
sync
mem_show_small=$(peak_kib "$CLI" show "$SMALL")
mem_set_small=$(peak_kib "$CLI" set --title "$TITLE" "$WORK/small-set.mp3")
mem_convert=$(peak_kib "$CLI" set --title "$TITLE" "$WORK/work.mp3")
check_rmp "$WORK/small-set.mp3"
check_rmp "$WORK/work.mp3"
rm -f "$WORK/work.mp3" "$WORK/small-set.mp3"
increase=$((mem_convert - mem_show_small))
echo "peak memory: show of a 20 KB file $mem_show_small KiB, conversion of a 20 KB file $mem_set_small KiB," \
  "conversion of the ${SIZE_MB} MB file $mem_convert KiB"
echo "  increase over the tiny file: $increase KiB ($(calc '%.2f' "$increase / 1024") MiB)"

if ((increase < 16 * 1024)); then
  echo "PASS memory: the conversion raises peak memory by $(calc '%.2f' "$increase / 1024") MiB (< 16 MiB)"
else
  echo "FAIL memory: the conversion raises peak memory by $(calc '%.2f' "$increase / 1024") MiB (goal < 16 MiB)"
fi
if awk -v r="$ratio" 'BEGIN { exit !(r >= 1.0) }'; then
  echo "PASS speed: the conversion runs at $ratio of cp's speed ($conv_speed vs $cp_speed MB/s; goal >= 1.0)"
else
  echo "FAIL speed: the conversion runs at $ratio of cp's speed ($conv_speed vs $cp_speed MB/s; goal >= 1.0)"
fi
