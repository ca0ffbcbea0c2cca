#!/usr/bin/env bash
# Runs test_audio.exe under Wine with a private HOME and no sound card. Wine plays to a
# PulseAudio server of our own with a null sink, which keeps real time (ALSA's null device
# takes samples as fast as they come, so positions would run ahead of the clock). ALSA gets a
# configuration of its own (ALSA_CONFIG_PATH; the system's pulls in a 64-bit-only pulse hook)
# whose default device writes to a file: the played mode uses it to check every sample.
#   run_audio.sh with    WINE_RUN EXE WORK   the library next to the program
#   run_audio.sh without WINE_RUN EXE WORK   the program copied alone to WORK/alone
#   run_audio.sh ansi WINE_RUN EXE WORK DLL  the program beside DLL, a library without
#                                            vbmp3_openW, in WORK/ansi: the opening tests
#   run_audio.sh played  WINE_RUN EXE WORK   plays one file whole, compares it with mpg123
#   run_audio.sh editor  WINE_RUN EXE WORK   the editor's preview, driven by drive_editor.exe
set -euo pipefail
mode=$1 wine_run=$2 exe=$3 work=$4 older_library=${5:-}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
mkdir -p "$work"
work=$(cd "$work" && pwd)
fixtures=$work/fixtures
"$here/make_fixtures.sh" "$fixtures"
home=$work/home-$mode
mkdir -p "$home"
played=$home/played.raw
rm -f "$played"
cat > "$home/asound.conf" <<ASOUND
pcm.!default { type file; slave.pcm { type null }; file "$played"; format "raw" }
ASOUND
export ALSA_CONFIG_PATH=$home/asound.conf
export HOME=$home
export XDG_RUNTIME_DIR=$home/run
mkdir -p "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
sock=$XDG_RUNTIME_DIR/pulse.sock
pids=()
cleanup() { local p; for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; }
trap cleanup EXIT
if command -v pulseaudio >/dev/null; then
  rm -f "$sock"
  pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no --log-target=file:"$home/pulse.log" \
    --load="module-null-sink sink_name=out rate=44100 channels=2" \
    --load="module-native-protocol-unix socket=$sock auth-anonymous=1" &
  pids+=($!)
  for _ in $(seq 50); do [[ -S $sock ]] && break; sleep 0.1; done
  export PULSE_SERVER=unix:$sock
else
  echo "run_audio.sh: pulseaudio is missing; Wine plays to ALSA's null device, faster than real time," \
       "and the timing tests fail" >&2
fi
export TAGZO_AUDIO_DIR="Z:${fixtures//\//\\}\\"
log=$work/$mode.log
case $mode in
  with)
    "$wine_run" "$exe" >"$log" 2>"$log.err" && rc=0 || rc=$?
    ;;
  without)
    mkdir -p "$work/alone"
    cp "$exe" "$work/alone/"
    TAGZO_NO_DLL=1 "$wine_run" "$work/alone/$(basename "$exe")" >"$log" 2>"$log.err" && rc=0 || rc=$?
    ;;
  ansi)
    # Only the way a file is opened differs from the library's own tests.
    mkdir -p "$work/ansi"
    cp "$exe" "${older_library:?run_audio.sh: ansi needs the library without vbmp3_openW}" "$work/ansi/"
    TAGZO_DLL_ANSI_ONLY=1 "$wine_run" "$work/ansi/$(basename "$exe")" \
      --gtest_filter='Binding.*:Player.TotalTimeOfEachForm:Player.Opens*:Player.RefusesWhatItCannotPlay:Player.DamagedFilesAreSafe' \
      >"$log" 2>"$log.err" && rc=0 || rc=$?
    ;;
  editor)
    "$wine_run" "$exe" --gtest_filter='Player.*' >"$log" 2>"$log.err" && rc=0 || rc=$?
    ;;
  played)
    # Through ALSA's file device here: it writes every sample Wine hands it, at any speed.
    # (Recording the PulseAudio monitor lost about a tenth of the samples.)
    kill "${pids[@]}" 2>/dev/null || true
    export PULSE_SERVER=unix:$home/no-server
    mpg123 -q --no-gapless -s "$fixtures/cbr44s_v1.mp3" > "$work/reference.raw" 2>/dev/null
    : >"$log"
    : >"$log.err"
    # Mode 0 plays at the file's rate, mode 1 at a quarter of it (groups of 4 averaged) and
    # mode 2 at half of it: modes that swapped their option blocks would not compare.
    for pm in 0 1 2; do
      rm -f "$played"
      TAGZO_PLAY_MODE=$pm TAGZO_PLAY_WHOLE=cbr44s_v1.mp3 "$wine_run" "$exe" \
        --gtest_filter=Player.WholeFileForComparison >"$log.$pm" 2>"$log.err" && rc=0 || rc=$?
      { echo "playback mode $pm:"; tr -d '\0' <"$log.$pm"; } >>"$log"
      ((rc == 0)) || break
      decimate=$((pm == 1 ? 4 : pm == 2 ? 2 : 1))
      python3 "$here/compare_pcm.py" "$played" "$work/reference.raw" 2 1152 "$decimate" >>"$log" 2>&1 || rc=$?
      ((rc == 0)) || break
    done
    ;;
  *) echo "run_audio.sh: unknown mode $mode" >&2; exit 2 ;;
esac
# Wine writes a redirected stdout at its own file offset, so the program's output and the
# messages of the Unix libraries (stderr) go to separate files.
tr -d '\0' <"$log"
if [[ -s $log.err ]]; then echo "--- stderr:"; tr -d '\0' <"$log.err"; fi
exit "$rc"
