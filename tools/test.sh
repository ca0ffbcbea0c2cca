#!/usr/bin/env bash
# Every test of the project, from a fresh clone: installs what is missing (apt-get, so run it
# as root the first time), builds the Linux and both Windows builds, runs the unit and
# command-line tests natively with ASan and UBSan, the same tests on a Windows build under
# Wine, and short coverage-guided runs of the fuzz targets.
# The Windows tests run on the 32-bit build (the product) where this machine runs 32-bit
# programs, else on the 64-bit build; TAGZO_WINDOWS_TESTS=32 or 64 forces one. Where the
# 32-bit build is tested, the 64-bit build's unit tests run too, so that both stay tested.
# Every step runs even when an earlier one failed, so one run shows everything; a summary of
# the steps ends the output, and the exit status is 1 when any step failed.
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

# Without the packages or a Windows build this machine can run, no step could run.
bash tools/install-deps.sh || exit 1
source tools/windows-build.sh
# Decided before any build, so that a choice this machine cannot honour fails at once.
pick_windows_build || exit 1

summary=()
failed=0
# step NAME COMMAND...: runs the command as one step and records how it ended. The commands
# chain their parts with &&, since set -e does not hold inside a function called in a test.
step() {
  local name=$1 start=$SECONDS status
  shift
  printf '\n=== %s\n' "$name"
  "$@"
  status=$?
  local took=$((SECONDS - start))
  if ((status == 0)); then
    summary+=("passed  $(printf '%4d' "$took") s  $name")
  else
    summary+=("FAILED  $(printf '%4d' "$took") s  $name (exit $status)")
    failed=1
  fi
  return "$status"
}
skip() {
  printf '\n=== %s\n(skipped: %s)\n' "$1" "$2"
  summary+=("SKIPPED         $1 ($2)")
  failed=1
}

linux() {
  cmake --preset native >/dev/null && cmake --build --preset native && ctest --preset native
}
build() {
  cmake --preset "$1" >/dev/null && cmake --build --preset "$1"
}
# The editor's windows open on a private virtual display, never on the caller's desktop.
# Wine has one-off hiccups (a program that does not start, a window late on a busy machine), so
# the tests that failed are run once more; a test that passes only then is named on a FLAKY line
# of the summary, its first failure's output kept above and in Testing/Temporary/FirstRun.log,
# so that it is still chased. A test that fails twice fails the step.
flaky=()
windows_tests() {
  local preset=$1 tmp=build/$1/Testing/Temporary first again status t
  rm -f "$tmp/LastTestsFailed.log"
  (unset DISPLAY; ctest --preset "$@") && return 0
  [[ -s $tmp/LastTestsFailed.log ]] || return 1
  first=$(cut -d: -f2- "$tmp/LastTestsFailed.log")
  cp "$tmp/LastTest.log" "$tmp/FirstRun.log"
  printf '\n=== Once more, the Windows tests that failed:' && printf ' %s' $first && echo
  (unset DISPLAY; ctest --preset "$@" --rerun-failed)
  status=$?
  again=
  ((status == 0)) || again=$(cut -d: -f2- "$tmp/LastTestsFailed.log")
  for t in $first; do
    grep -qxF "$t" <<<"$again" ||
      flaky+=("FLAKY           $t (build/$preset: failed, then passed when run again; first output in $tmp/FirstRun.log)")
  done
  return "$status"
}
fuzz() {
  cmake --preset fuzz >/dev/null && cmake --build --preset fuzz && ctest --preset fuzz
}

step "Linux build and tests" linux
# Both Windows builds are compiled: each can have faults the other has not (pointer sizes,
# calling conventions, export names).
declare -A built
for build in "windows 32 i686" "windows64 64 x86_64"; do
  read -r preset bits arch <<<"$build"
  step "Windows build: $bits-bit (MinGW-w64 $arch, static)" build "$preset"
  (($? == 0)) && built[$preset]=1
done

name="Windows tests under Wine on build/$win_preset: $win_why"
if [[ -n ${built[$win_preset]:-} ]]; then
  step "$name" windows_tests "$win_preset"
else
  skip "$name" "its build failed"
fi
if [[ $win_preset == windows ]]; then
  # The end-to-end suites run on the product's build only; the 64-bit build's unit tests
  # keep it free of 32-bit assumptions.
  name="Windows unit tests under Wine on build/windows64"
  if [[ -n ${built[windows64]:-} ]]; then
    step "$name" windows_tests windows64 -L unit
  else
    skip "$name" "its build failed"
  fi
fi

step "Fuzz targets (clang, libFuzzer)" fuzz

printf '\n=== Summary (Windows tests on build/%s)\n' "$win_preset"
printf '%s\n' "${summary[@]}" "${flaky[@]}"
if ((failed)); then
  echo "Some steps failed: their output is above, under their === headings."
  exit 1
fi
echo "All tests passed."
