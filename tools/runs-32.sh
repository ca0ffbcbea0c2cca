# Sourced by the dependency installer and the Wine runner: whether this machine's kernel runs
# 32-bit x86 programs at all. Some kernels (virtual machines and container hosts built without
# i386 support) refuse every 32-bit program with "Exec format error"; no Wine mode can run one
# there. The probe is a 93-byte static 32-bit program that only exits, so it needs no 32-bit
# library and answers before wine32 is installed.
#   why_kernel_no_32     prints nothing when 32-bit programs run, else the kernel's answer
# TAGZO_KERNEL_RUNS_32=yes|no stands in for the probe (the installer's own tests use it).
why_kernel_no_32() {
  case ${TAGZO_KERNEL_RUNS_32:-} in
    yes) return 0 ;;
    no) echo "the kernel refuses 32-bit programs (TAGZO_KERNEL_RUNS_32=no)"; return 0 ;;
  esac
  local dir probe out
  for dir in "${TMPDIR:-/tmp}" "$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build"; do
    mkdir -p "$dir" 2>/dev/null || continue
    probe=$(mktemp "$dir/tagzo-probe32.XXXXXX" 2>/dev/null) || continue
    # ELF header, one loadable segment, then: mov eax,1; xor ebx,ebx; int 0x80 (exit 0).
    printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00''\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00''\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00''\x00\x00\x00\x00''\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08''\x5d\x00\x00\x00\x5d\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00''\xb8\x01\x00\x00\x00\x31\xdb\xcd\x80' >"$probe"
    chmod 700 "$probe"
    # In the C locale, so that the shell's error reads the same everywhere.
    if out=$(export LC_ALL=C; "$probe" 2>&1); then
      rm -f "$probe"
      return 0
    fi
    rm -f "$probe"
    # A folder mounted noexec answers "Permission denied": try the next one.
    [[ $out == *"ermission denied"* ]] && continue
    out=${out##*$'\n'}
    out=${out#*line [0-9]*: }
    echo "the kernel refuses 32-bit programs (${out#"$probe": })"
    return 0
  done
  echo "no folder here lets a program be run, so whether 32-bit programs run is unknown"
}
