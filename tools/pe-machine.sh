# Sourced by the Wine runner and the archive script.
# The machine of a Windows program from its PE header: i386, x86_64, or nothing when the file
# is no such program (or is one of Wine's own, named without a path).
pe_machine() {
  local off sig
  [[ -f $1 ]] || return 0
  off=$(od -An -tu4 -j60 -N4 "$1" 2>/dev/null | tr -d ' \n')
  [[ $off =~ ^[0-9]+$ ]] || return 0
  sig=$(od -An -tx1 -j"$off" -N6 "$1" 2>/dev/null | tr -d ' \n')
  case $sig in
    504500004c01) echo i386 ;;
    504500006486) echo x86_64 ;;
  esac
}
