#!/usr/bin/env bash
# Writes cli/tagzo-cli.order: the functions that `tagzo-cli set --title X FILE` runs on one small
# MP3 file, the C library's start and exit among them, in the order they first run. The link
# places them together in that order (see CMakeLists.txt), so that a process started for one
# file touches few pages of code. Run it after a change to what that command runs, on a build
# of the native preset:
#   tools/link-order.sh [TAGZO_CLI]   (default build/native/bin/tagzo-cli)
# Needs valgrind (its lackey tool names each instruction as it runs) and nm.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cli=$(realpath "${1:-$root/build/native/bin/tagzo-cli}")
out=$root/cli/tagzo-cli.order
for tool in valgrind nm python3; do
  command -v "$tool" >/dev/null || { echo "link-order: $tool is missing" >&2; exit 2; }
done
# shellcheck source=bench/lib.sh
source "$root/bench/lib.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
make_mp3 "$work/a.mp3" 20000
valgrind --tool=lackey --trace-mem=yes --log-file="$work/trace" "$cli" set --title X "$work/a.mp3"
nm -S --defined-only "$cli" >"$work/symbols"
python3 - "$work/trace" "$work/symbols" "$out" <<'EOF'
import bisect, re, sys
trace, symbols, out = sys.argv[1:]
functions = []  # start, size, name of each function that nm gives with its size
for line in open(symbols):
    parts = line.split()
    if len(parts) == 4 and parts[2] in "tTwWiI":
        functions.append((int(parts[0], 16), int(parts[1], 16), parts[3]))
functions.sort()
starts = [f[0] for f in functions]
order, seen = [], set()
for line in open(trace):
    if not line.startswith("I "):  # an instruction run: "I  address,size"
        continue
    at = int(line.split()[1].split(",")[0], 16)
    i = bisect.bisect_right(starts, at) - 1
    if i >= 0 and at < functions[i][0] + functions[i][1] and functions[i][2] not in seen:
        seen.add(functions[i][2])
        order.append(functions[i][2])
# The C library picks each string function's form for the processor it runs on, and valgrind's
# processor has no AVX-512: beside each AVX form it ran go the EVEX and AVX-512 forms that
# such a processor runs in its place.
# A function whose form valgrind's processor took from the generic code (its chooser, NAME_ifunc,
# ran) gets the EVEX and AVX-512 forms of NAME beside its chooser.
names = {f[2] for f in functions}
with_forms = []
for name in order:
    with_forms.append(name)
    others = []
    if name.startswith("__") and re.search(r"_avx2?(?=_|$)", name):
        others = [re.sub(r"_avx2?(?=_|$)", form, name, count=1) for form in ("_evex", "_avx512")]
    elif name.endswith("_ifunc"):
        base = "__" + name[: -len("_ifunc")]
        others = [base + "_evex", base + "_avx512"]
    for other in others:
        if other in names and other not in seen:
            seen.add(other)
            with_forms.append(other)
order = with_forms
with open(out, "w") as f:
    f.write("# The functions of `tagzo-cli set --title X FILE` on one small MP3 file, in the order they\n"
            "# first run: the link places them together (CMakeLists.txt). Written by tools/link-order.sh.\n")
    f.write("\n".join(order) + "\n")
print(f"link-order: {len(order)} functions in {out}")
EOF
