#!/usr/bin/env bash
# Every test of the project, from a fresh clone: installs what is missing (apt-get, so run it
# as root the first time), builds the Linux and both Windows builds, runs the unit and
# command-line tests natively with ASan and UBSan, the same tests on a Windows build under
# Wine, and short coverage-guided runs of the fuzz targets.
# The Windows tests run on the 32-bit build (the product) where this machine runs 32-bit
# programs, else on the 64-bit build; TAGZO_WINDOWS_TESTS=32 or 64 forces one.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

bash tools/install-deps.sh
source tools/windows-build.sh
# Decided before any build, so that a choice this machine cannot honour fails at once.
pick_windows_build

step() { printf '\n=== %s\n' "$*"; }

step "Linux build and tests"
cmake --preset native >/dev/null
cmake --build --preset native
ctest --preset native

# Both Windows builds are compiled: each can have faults the other has not (pointer sizes,
# calling conventions, export names).
step "Windows builds: 32-bit (MinGW-w64 i686, the product) and 64-bit (x86_64), static"
for preset in windows windows64; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done

step "Windows tests under Wine on build/$win_preset: $win_why"
# The editor's windows open on a private virtual display, never on the caller's desktop.
unset DISPLAY
ctest --preset "$win_preset"

step "Fuzz targets (clang, libFuzzer)"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
ctest --preset fuzz

step "All tests passed (Windows tests on build/$win_preset)"
