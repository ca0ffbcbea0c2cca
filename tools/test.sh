#!/usr/bin/env bash
# Every test of the project, from a fresh clone: installs what is missing (apt-get, so run it
# as root the first time), builds the Linux and the Windows programs, runs the unit and
# command-line tests natively with ASan and UBSan, the same tests on the Windows build under
# Wine, and short coverage-guided runs of the fuzz targets.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

bash tools/install-deps.sh

step() { printf '\n=== %s\n' "$*"; }

step "Linux build and tests"
cmake --preset native >/dev/null
cmake --build --preset native
ctest --preset native

step "Windows build (MinGW-w64 i686, static) and its tests under Wine"
# The editor's windows open on a private virtual display, never on the caller's desktop.
unset DISPLAY
cmake --preset windows >/dev/null
cmake --build --preset windows
ctest --preset windows

step "Fuzz targets (clang, libFuzzer)"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
ctest --preset fuzz

step "All tests passed"
