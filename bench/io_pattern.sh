#!/usr/bin/env bash
# What `tagzo-cli set --title X` does to a 1 MB file's bytes when it writes the ID3v1 record,
# watched with strace: it should read nothing but the first 256 bytes and the last 256, once
# each (the windows in which its readers find the kind and the RMP test, an ID3v2 header, an
# ID3v2 footer at the end or before the record, and the record), and write the 128 bytes of
# the record in one write, over the old record or after the end. Run on a file with a record
# and on one without.
# Prints each call on the file's descriptors and PASS/FAIL; exits 0 either way, and
# non-zero only when a tool failed.
#   bench/io_pattern.sh [--cli PATH] [--tmp DIR]
set -euo pipefail
# shellcheck source=bench/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
bench_parse_args "$@"
need_command strace strace
need_command python3 python3
bench_make_work io_pattern

SIZE=$((1024 * 1024))
echo "== file access of 'tagzo-cli set --title X' on a ${SIZE}-byte file (scratch folder $WORK)"

check_file() {  # name with_record
  local f="$WORK/$1.mp3" log="$WORK/$1.strace" size_before size_after
  make_mp3 "$f" "$SIZE" "$2"
  size_before=$(stat -c %s "$f")
  # -y names the file behind each descriptor; -s 0 leaves the data out.
  strace -f -y -s 0 -qq -o "$log" \
    -e trace=openat,close,read,pread64,readv,preadv,preadv2,write,pwrite64,writev,pwritev,pwritev2,lseek,mmap,ftruncate,copy_file_range,sendfile \
    "$CLI" set --title X "$f" || { echo "tagzo-cli set failed on $f" >&2; exit 1; }
  size_after=$(stat -c %s "$f")
  "$CLI" show --json "$f" | grep -q '"title":"X"' || { echo "the title did not reach $f" >&2; exit 1; }
  echo "-- $1.mp3: $size_before bytes before, $size_after after"
  python3 - "$log" "$(realpath "$f")" "$size_before" "$size_after" "$2" <<'EOF'
import re, sys

log, path, size, size_after, with_record = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4]), sys.argv[5] == "1"
call = re.compile(r'^(?:\d+\s+)?(\w+)\((.*)\)\s+=\s+(-?\d+)')
fd_arg = re.compile(r'^(\d+)<(.*?)>(?:, |$)')
reads = {"read", "pread64", "readv", "preadv", "preadv2"}
writes = {"write", "pwrite64", "writev", "pwritev", "pwritev2"}

pos = {}      # file position of each open descriptor of the file
flags = {}
events = []   # (fd, kind, name, offset, length)
others = []
for line in open(log):
    m = call.match(line)
    if not m:
        continue
    name, args, ret = m.group(1), m.group(2), int(m.group(3))
    if name == "openat":
        if f'"{path}"' in args or args.split(", ")[1].endswith("/" + path.rsplit("/", 1)[1] + '"'):
            if ret >= 0:
                fd = ret
                pos[fd] = 0
                flags[fd] = args.split(", ")[2]
                events.append((fd, "open", name, 0, 0, flags[fd]))
        continue
    a = fd_arg.match(args)
    if not a or a.group(2) != path:
        continue
    fd = int(a.group(1))
    rest = args[a.end():].split(", ")
    if name == "close":
        events.append((fd, "close", name, 0, 0, ""))
        pos.pop(fd, None)
        continue
    if name == "lseek":
        pos[fd] = ret
        events.append((fd, "seek", name, ret, 0, rest[-1]))
        continue
    if name in reads or name in writes:
        kind = "read" if name in reads else "write"
        if name in ("pread64", "pwrite64"):
            offset = int(rest[-1])
        elif name in ("read", "write", "readv", "writev"):
            offset = pos.get(fd, 0)
            pos[fd] = offset + max(ret, 0)
        else:
            offset = int(rest[-2]) if name.endswith("2") else int(rest[-1])
        events.append((fd, kind, name, offset, ret, ""))
        continue
    others.append(line.strip())

ok = True
problems = []
for fd, kind, name, offset, length, extra in events:
    if kind == "open":
        print(f"   fd {fd}: openat {extra}")
    elif kind == "close":
        print(f"   fd {fd}: close")
    elif kind == "seek":
        print(f"   fd {fd}: lseek to {offset} ({extra})")
    else:
        end = offset + length
        where = ("the first 256 bytes" if end <= 256 else
                 "the last 256 bytes" if offset >= size - 256 and end <= size else
                 "after the end" if offset >= size else "the middle of the file")
        print(f"   fd {fd}: {name} {length} bytes at {offset} ({where})")
        if kind == "read" and not (end <= 256 or (offset >= size - 256 and end <= size)):
            problems.append(f"a read of {length} bytes at {offset} lies outside the first 256 and the last 256 bytes")
for o in others:
    print(f"   other call on the file: {o}")
    problems.append(f"unexpected call: {o}")

wr = [e for e in events if e[1] == "write"]
want_at = size - 128 if with_record else size
if len(wr) != 1:
    problems.append(f"{len(wr)} writes to the file instead of one")
elif wr[0][3] != want_at or wr[0][4] != 128:
    problems.append(f"the write is {wr[0][4]} bytes at {wr[0][3]}, not 128 bytes at {want_at}")
if size_after != (size if with_record else size + 128):
    problems.append(f"the file is {size_after} bytes afterwards")
rd = [e for e in events if e[1] == "read"]
for part, in_part in (("first", lambda e: e[3] + e[4] <= 256), ("last", lambda e: e[3] >= size - 256)):
    n = len([e for e in rd if in_part(e)])
    if n > 1:
        problems.append(f"{n} reads of the {part} 256 bytes instead of one")
print(f"   {len(rd)} reads ({sum(e[4] for e in rd)} bytes), {len(wr)} write(s) ({sum(e[4] for e in wr)} bytes)")
for p in problems:
    print(f"   problem: {p}")
print(f"RESULT {'PASS' if not problems else 'FAIL'}")
EOF
}

out_with=$(check_file with_record 1)
echo "$out_with" | grep -v '^RESULT'
out_without=$(check_file without_record 0)
echo "$out_without" | grep -v '^RESULT'

result() { echo "$1" | grep -q '^RESULT PASS' && echo PASS || echo FAIL; }
r1=$(result "$out_with")
r2=$(result "$out_without")
echo "$r1 io pattern, file with a record: one read each of the first and the last 256 bytes, one 128-byte write over the record"
echo "$r2 io pattern, file without a record: one read each of the first and the last 256 bytes, one 128-byte write after the end"
