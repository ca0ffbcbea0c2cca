# Sourced by the run and test commands: which Windows build this machine can run.
#   pick_windows_build        sets win_preset (windows or windows64) and win_why
# The product is the 32-bit build (preset windows). Some machines cannot execute 32-bit
# programs at all (their kernel lacks i386 support: Wine's 32-bit loader fails with "Exec
# format error"); there the same code, built for x86_64 (preset windows64), runs under Wine's
# 64-bit loader. TAGZO_WINDOWS_TESTS chooses: unset picks what the machine runs, 32 or 64
# forces one. Forcing 32 where it cannot run is an error that names the cause.
pick_windows_build() {
  local root why32
  root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
  why32=$("$root/tools/wine-run.sh" --can-run-32 2>&1) && why32=
  case ${TAGZO_WINDOWS_TESTS:-} in
    "")
      if [[ -z $why32 ]]; then
        win_preset=windows win_why="this machine runs 32-bit programs"
      else
        win_preset=windows64 win_why="this machine cannot run 32-bit programs: $why32"
      fi ;;
    32)
      if [[ -n $why32 ]]; then
        echo "TAGZO_WINDOWS_TESTS=32 asks for the 32-bit build, but this machine cannot run" \
             "32-bit programs: $why32. Unset it or set it to 64 to use the 64-bit build." >&2
        return 1
      fi
      win_preset=windows win_why="TAGZO_WINDOWS_TESTS=32" ;;
    64) win_preset=windows64 win_why="TAGZO_WINDOWS_TESTS=64" ;;
    *)
      echo "TAGZO_WINDOWS_TESTS must be unset, 32 or 64, not '$TAGZO_WINDOWS_TESTS'" >&2
      return 1 ;;
  esac
}
