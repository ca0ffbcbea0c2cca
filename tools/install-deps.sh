#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian machine, when it is missing.
# Needs root (apt-get); as any other user it only checks and says what is missing.
#
# A package mirror can be in the middle of a sync, so one index may fail to load and one
# package may not be had for a while. The script rides that out:
# - apt-get update is tried up to three times, with a pause between; a failure that remains is
#   a warning, and the install that follows says whether what is needed could be had;
# - the required packages (the builds and the tests need them) are installed together; when
#   that fails, each is tried on its own, and one that cannot be had ends the script with its
#   name and apt's reason;
# - the optional ones (the cross-check tools, whose tests skip with a message without them) are
#   tried after, each on its own where need be; one that fails is a warning;
# - wine32 (Wine's 32-bit loader, package wine32:i386) is wanted only where the kernel runs
#   32-bit programs, and is installed on its own: where it cannot be had, one line says so and
#   the Windows tests run on the 64-bit build, as on machines without 32-bit programs.
# TAGZO_APT_TRIES and TAGZO_APT_PAUSE (seconds) set the update's tries and pause.
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$here/tools/runs-32.sh"

required=(cmake ninja-build g++ googletest libgtest-dev libgmock-dev libbenchmark-dev
          python3 clang libclang-rt-14-dev lld passwd util-linux
          g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools wine wine64 xvfb xauth
          locales fonts-ipafont lame sox mpg123 pulseaudio)
optional=(libimage-exiftool-perl mediainfo id3v2 id3tool python3-mutagen eyed3 kid3-cli ffmpeg)

say() { echo "install-deps: $*"; }
warn() { echo "install-deps: warning: $*" >&2; }
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
missing_of() {
  local p
  for p in "$@"; do installed "$p" || echo "$p"; done
}

mapfile -t need < <(missing_of "${required[@]}")
mapfile -t want < <(missing_of "${optional[@]}")
why32=$(why_kernel_no_32)
want32=
[[ -z $why32 ]] && ! installed wine32:i386 && want32=1

if ((${#need[@]} + ${#want[@]})) || [[ -n $want32 ]]; then
  if [[ $(id -u) -ne 0 ]]; then
    all=("${need[@]}" "${want[@]}")
    [[ -n $want32 ]] && all+=(wine32:i386)
    echo "install-deps: missing packages: ${all[*]}" >&2
    echo "install-deps: run this script as root (it uses apt-get) or install them yourself" >&2
    ((${#need[@]})) && exit 1
    warn "going on without the optional ones"
  else
    export DEBIAN_FRONTEND=noninteractive
    if [[ -n $want32 ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
      dpkg --add-architecture i386
    fi
    tries=${TAGZO_APT_TRIES:-3}
    for ((try = 1; ; try++)); do
      if out=$(apt-get update -qq 2>&1); then
        break
      fi
      if ((try >= tries)); then
        warn "apt-get update failed $tries times; going on with the package lists there are:"
        grep -E '^(E|W):' <<<"$out" | head -n 5 | sed 's/^/  /' >&2
        break
      fi
      say "apt-get update failed (try $try of $tries); trying again in ${TAGZO_APT_PAUSE:-10} s"
      sleep "${TAGZO_APT_PAUSE:-10}"
    done
    # apt's reason for a package it cannot install: its error lines, or its last line.
    reason() {
      local r
      r=$(grep -E '^E:|Depends:|has no installation candidate|Unable to locate' <<<"$1" | head -n 4)
      [[ -n $r ]] || r=$(tail -n 2 <<<"$1")
      sed 's/^/  /' <<<"$r"
    }
    get() { apt-get install -y -qq --no-install-recommends "$@" 2>&1 >/dev/null; }
    # Together first (one resolution, fastest); one by one only when that fails.
    if ((${#need[@]} + ${#want[@]})); then
      say "installing ${need[*]} ${want[*]}"
      if ! out=$(get "${need[@]}" "${want[@]}"); then
        failed=()
        if ((${#need[@]})) && ! out=$(get "${need[@]}"); then
          for p in "${need[@]}"; do
            installed "$p" && continue
            if ! out=$(get "$p"); then
              echo "install-deps: the required package $p cannot be installed; apt-get said:" >&2
              reason "$out" >&2
              failed+=("$p")
            fi
          done
        fi
        for p in "${want[@]}"; do
          installed "$p" && continue
          if ! out=$(get "$p"); then
            warn "the optional package $p cannot be installed (its cross-checks will be skipped); apt-get said:"
            reason "$out" >&2
          fi
        done
        if ((${#failed[@]})); then
          echo "install-deps: cannot go on without ${failed[*]}" >&2
          exit 1
        fi
      fi
    fi
    if [[ -n $want32 ]]; then
      say "installing wine32:i386 (this machine runs 32-bit programs)"
      if ! out=$(get wine32:i386); then
        warn "wine32:i386 cannot be installed, so the Windows tests will run on the 64-bit build;" \
             "apt-get said: $(reason "$out" | head -n 1 | sed 's/^ *//')"
      fi
    fi
    [[ -z $why32 ]] || say "wine32 is not wanted: $why32"
  fi
fi

# Wine's ANSI code page follows the locale: ja_JP.UTF-8 gives code page 932, the product's
# own; en_US.UTF-8 gives 1252, under which the Windows tests run a second time.
for loc in ja_JP en_US; do
  if ! locale -a 2>/dev/null | grep -qi "^$loc\.utf-\?8$"; then
    if [[ $(id -u) -eq 0 ]]; then
      sed -i "s/^# *$loc.UTF-8 UTF-8/$loc.UTF-8 UTF-8/" /etc/locale.gen
      grep -q "^$loc.UTF-8 UTF-8" /etc/locale.gen || echo "$loc.UTF-8 UTF-8" >> /etc/locale.gen
      locale-gen >/dev/null
    else
      echo "install-deps: the $loc.UTF-8 locale is missing (generate it as root)" >&2
      exit 1
    fi
  fi
done
mapfile -t still < <(missing_of "${optional[@]}")
if ((${#still[@]})); then
  say "the required packages are in place; missing, so their cross-checks skip: ${still[*]}"
else
  say "everything is in place"
fi
