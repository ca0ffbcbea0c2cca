#!/usr/bin/env bash
# Makes the audio test files in the folder given: tones and silence encoded with lame in the
# forms the player meets (CBR and VBR, mono and stereo, 44.1 and 22.05 kHz, ID3v2 in front,
# an ID3v1 record, no Xing/Info header, an RMP3 wrapping), and files it must refuse.
#   make_fixtures.sh OUT [TAGZO-CLI.EXE]   the Windows tagzo-cli of the build under test makes
#                                         the RMP file when the Linux one is not built
set -euo pipefail
out=$1
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
stamp=$(cksum < "${BASH_SOURCE[0]}")  # made again when this script changes
mkdir -p "$out"
cd "$out"
[[ -f .done && $(cat .done) == "$stamp" ]] && exit 0
tone() {  # name seconds rate channels amplitude
  sox -q -n -r "$3" -c "$4" -b 16 "$1.wav" synth "$2" sine 1000 vol "$5"
}
tone t44s6 6 44100 2 0.9
tone t44m7 7 44100 1 0.5
tone t22s5 5 22050 2 0.5
tone t22m8 8 22050 1 0.5
tone t44s9 9 44100 2 0.5
tone t44s20 20 44100 2 0.5
sox -q -n -r 44100 -c 2 -b 16 silence.wav trim 0 4
# Five minutes whose bit rate varies, from two seconds of silence on: only a walk of all its
# frames tells its length, since its first frame's rate is far from the mean.
sox -q -n -r 44100 -c 2 -b 16 long.wav synth 298 pinknoise synth 298 sine mix 440 vol 0.4 pad 2 0
L="lame --quiet --nohist"
$L -b 128 --id3v1-only --tt "cbr stereo" t44s6.wav cbr44s_v1.mp3                # Info header, ID3v1
$L -V 4 --add-id3v2 --id3v2-only --tt "vbr mono" t44m7.wav vbr44m_v2.mp3           # Xing header, ID3v2
$L -b 64 -t t22s5.wav cbr22s_plain.mp3                                            # no header: scanned
$L -V 5 --add-id3v2 --tt "vbr mono 22" t22m8.wav vbr22m_v2v1.mp3                  # Xing, ID3v2 and ID3v1
$L -V 2 -t t44s9.wav vbr44s_plain.mp3                                             # VBR without header
$L -V 4 -t long.wav vbr44s_long_plain.mp3                                         # the same, 300 s
$L -b 128 t44s20.wav cbr44s_20.mp3
$L -b 128 silence.wav silence.mp3
# RMP3: our own conversion, by tagzo-cli (a title longer than ID3v1 holds asks for it).
cp cbr44s_v1.mp3 cbr44s.rmp
if [[ -x $root/build/native/bin/tagzo-cli ]]; then
  "$root/build/native/bin/tagzo-cli" set --title "a tone of one kilohertz, six seconds long" cbr44s.rmp
else
  "$root/tools/wine-run.sh" "${2:?make_fixtures: no tagzo-cli to make the RMP file with}" set \
    --title "a tone of one kilohertz, six seconds long" cbr44s.rmp </dev/null >/dev/null 2>&1
fi
[[ $(head -c 12 cbr44s.rmp | tail -c 4) == RMP3 ]] || { echo "make_fixtures: the RMP conversion failed" >&2; exit 1; }
cp cbr44s_v1.mp3 "日本語の曲名.mp3"   # a name in the ANSI code page (932 under the tests' Wine)
printf 'This is a text file, not an MP3 file.\r\nそれ以外の何でもない。\r\n' > text.mp3
head -c 100 cbr44s_20.mp3 > truncated.mp3
: > empty.mp3
rm -f ./*.wav
echo "$stamp" > .done
