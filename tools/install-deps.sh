#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian machine, when it is missing.
# Needs root (apt-get); as any other user it only checks and says what is missing.
set -euo pipefail

native_pkgs=(cmake ninja-build g++ googletest libgtest-dev libgmock-dev libbenchmark-dev
             python3 clang libclang-rt-14-dev passwd util-linux)
windows_pkgs=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools wine wine32 wine64 xvfb xauth
              locales fonts-ipafont lame sox mpg123 pulseaudio)
check_pkgs=(libimage-exiftool-perl mediainfo id3v2 id3tool python3-mutagen eyed3 kid3-cli)

want=("${native_pkgs[@]}" "${windows_pkgs[@]}" "${check_pkgs[@]}")
missing=()
for p in "${want[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
# wine32 lives in the i386 architecture
if ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q 'install ok installed'; then
  [[ " ${missing[*]} " == *" wine32 "* ]] || missing+=(wine32)
fi

if ((${#missing[@]})); then
  if [[ $(id -u) -ne 0 ]]; then
    echo "install-deps: missing packages: ${missing[*]}" >&2
    echo "install-deps: run this script as root (it uses apt-get) or install them yourself" >&2
    exit 1
  fi
  echo "install-deps: installing ${missing[*]}"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  pkgs=()
  for p in "${missing[@]}"; do
    if [[ $p == wine32 ]]; then pkgs+=(wine32:i386); else pkgs+=("$p"); fi
  done
  apt-get install -y -qq --no-install-recommends "${pkgs[@]}" >/dev/null
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
echo "install-deps: everything is in place"
