# shellcheck shell=bash
# Shared by the benchmark scripts: options, the scratch folder, packages, test files and
# timing. Sourced, not run.
#   --cli PATH   tagzo-cli to measure (default: build/native/bin/tagzo-cli)
#   --tmp DIR    scratch folder; keep it on the disk of the build (default: build/native/bench-tmp)

BENCH_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
CLI="$BENCH_DIR/../build/native/bin/tagzo-cli"
TMP_ROOT=""

bench_parse_args() {
  while (($#)); do
    case $1 in
      --cli) CLI=$2; shift 2 ;;
      --tmp) TMP_ROOT=$2; shift 2 ;;
      -h|--help) awk 'NR > 1 && /^#/ { sub(/^# ?/, ""); print; next } NR > 1 { exit }' "$0"; exit 0 ;;
      *) echo "$(basename "$0"): unknown argument $1" >&2; exit 2 ;;
    esac
  done
  if [[ ! -x $CLI ]]; then
    echo "$(basename "$0"): no tagzo-cli at $CLI (build first, or pass --cli)" >&2
    exit 2
  fi
  CLI=$(realpath "$CLI")
  [[ -n $TMP_ROOT ]] || TMP_ROOT="$(dirname "$CLI")/../bench-tmp"
  mkdir -p "$TMP_ROOT"
  TMP_ROOT=$(realpath "$TMP_ROOT")
}

# A fresh folder of this script's own under the scratch root, removed on exit.
bench_make_work() {
  WORK="$TMP_ROOT/$1"
  rm -rf "$WORK"
  mkdir -p "$WORK"
  trap 'rm -rf "$WORK"' EXIT
}

# Makes sure a command is there; as root it installs the Debian package that has it.
need_command() {  # command package
  command -v "$1" >/dev/null 2>&1 && return 0
  if [[ $(id -u) -eq 0 ]] && command -v apt-get >/dev/null; then
    echo "installing $2 for $1"
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$2" >/dev/null ||
      { DEBIAN_FRONTEND=noninteractive apt-get update -qq && \
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$2" >/dev/null; }
  fi
  command -v "$1" >/dev/null 2>&1 && return 0
  echo "$(basename "$0"): $1 is missing (Debian package $2)" >&2
  exit 2
}

# The 128-byte ID3v1 record: title, artist, album, year, comment, genre 12.
id3v1_record() {
  printf 'TAG%-30.30s%-30.30s%-30.30s%-4.4s%-30.30s\x0c' "$1" "$2" "$3" "$4" "$5"
}

# An MP3-looking file of exactly `size` bytes: a frame header (MPEG-1 layer III, 128 kbit/s,
# 44.1 kHz), noise, and an ID3v1 record at the end unless `with_record` is 0.
make_mp3() {  # path size [with_record]
  local path=$1 size=$2 with_record=${3:-1} body
  body=$((size - 4))
  ((with_record)) && body=$((body - 128))
  {
    printf '\xff\xfb\x90\x64'
    head -c "$body" /dev/urandom
    if ((with_record)); then
      id3v1_record "Original title" "Original artist" "Original album" "1999" "Original comment"
    fi
  } >"$path"
}

now() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.6f", b - a }'; }
# Median of the numbers given as arguments.
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else printf "%.6f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
# Prints a floating-point expression's value, e.g. calc '%.1f' '200 / 1.5'.
calc() { awk "BEGIN { printf \"$1\", $2 }"; }

# Runs each command of the caller's cmds ROUNDS times, taking turns (each round starts one
# later, so that the machine's drift falls on all alike), with the command PREPARE (none where
# empty) before each; the seconds of command k are added to the caller's times[k], a list.
# Exits when a command fails, naming it by the caller's names[k].
# shellcheck disable=SC2154,SC2004 # the caller's arrays; times is associative, keyed by $k
time_rounds() {  # prepare
  local prepare=$1 r j k t0 t1
  for ((r = 0; r < ROUNDS; r++)); do
    for ((j = 0; j < ${#cmds[@]}; j++)); do
      k=$(((j + r) % ${#cmds[@]}))
      [[ -z $prepare ]] || bash -c "$prepare"
      t0=$(now)
      bash -c "${cmds[k]}" || { echo "${names[k]} failed" >&2; exit 1; }
      t1=$(now)
      times[$k]="${times[$k]:-} $(elapsed "$t0" "$t1")"
    done
  done
}

# Checks that FOLDER holds WANT files and that each ends in a record whose title is X; exits
# naming NAME and the count of those that do not.
verify_titles() {  # folder want name
  python3 - "$1" "$2" "$3" <<'PY'
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
PY
}

# A PulseAudio server of the script's own with a null sink, which keeps real time: Wine plays to
# it, and no sound card is needed. Its pid is in NULL_SOUND_PID for the caller's exit trap.
start_null_sound() {  # folder for its socket, its log and the programs' HOME
  local dir=$1 sock
  mkdir -p "$dir/run"
  chmod 700 "$dir/run"
  export HOME=$dir XDG_RUNTIME_DIR=$dir/run
  sock=$dir/run/pulse.sock
  rm -f "$sock"
  pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no --log-target=file:"$dir/pulse.log" \
    --load="module-null-sink sink_name=out rate=44100 channels=2" \
    --load="module-native-protocol-unix socket=$sock auth-anonymous=1" &
  NULL_SOUND_PID=$!
  for _ in $(seq 50); do [[ -S $sock ]] && break; sleep 0.1; done
  export PULSE_SERVER=unix:$sock
}

# A Wine prefix and a display of the bench's own, so that nothing else runs beside the editor:
# WORK/wineprefix, booted for EXE, and display DISPLAY; exports WINEPREFIX for wineserver.
#   bench_own_prefix WORK DISPLAY EXE
bench_own_prefix() {
  export TAGZO_WINEPREFIX=$1/wineprefix TAGZO_DISPLAY=$2
  unset DISPLAY
  "$root/tools/wine-run.sh" --boot "$3" >/dev/null
  export WINEPREFIX=$TAGZO_WINEPREFIX
}

# Builds TARGET of commit BASE in a worktree of its own and copies its bin/FILE to DEST, once
# per commit (nothing when DEST is there). The build's output goes to WORK/base-build.log.
#   build_at_commit NAME BASE TARGET FILE DEST WORK
build_at_commit() {
  local name=$1 base=$2 target=$3 file=$4 dest=$5 work=$6
  [[ -f $dest ]] && return 0
  local tree=$work/tree-$base machine=i686
  rm -rf "$tree"
  git -C "$root" worktree add --detach "$tree" "$base" >/dev/null
  [[ $win_preset == windows64 ]] && machine=x86_64
  cmake -S "$tree" -B "$tree/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$tree/cmake/mingw-$machine.cmake" >"$work/base-build.log" 2>&1
  cmake --build "$tree/build" --target "$target" >>"$work/base-build.log" 2>&1 ||
    { echo "$name: building $base failed; see $work/base-build.log" >&2; exit 1; }
  mkdir -p "$(dirname "$dest")"
  cp "$tree/build/bin/$file" "$dest"
  git -C "$root" worktree remove --force "$tree"
}
