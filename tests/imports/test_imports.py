#!/usr/bin/env python3
"""The shipped Windows programs call the W forms of Windows functions, never the A forms.

An "A" function decodes and encodes texts with whatever code page the system has, so a program
that imports one is right only where that code page is 932. This test reads each program's
import table (objdump -p of the build's own MinGW tool chain) and fails on every imported
function whose name ends in "A", unless the short list below allows it.

    test_imports.py --objdump OBJDUMP --headers MINGW_INCLUDE PROGRAM...
"""
import argparse
import os
import re
import struct
import subprocess
import sys

# Names that end in "A" but are no ANSI form: they have no W form at all. The headers are
# searched to keep this list honest.
NO_W_FORM = {
    "LineDDA",  # GDI's line walker (a digital differential analyser)
}
# The MinGW runtime's own imports, linked into every program of a machine; none of them carries
# a text of ours. Each names the part of the runtime that imports it (nm on the runtime's
# libraries). Our own code may not use them either: the allowance is per machine, so a name
# that only the 32-bit runtime needs is still caught in the 64-bit build.
RUNTIME_BOTH = {
    "GetStartupInfoA": "crt2.o, the program's start-up code",
    "CreateEventA": "libwinpthread (mutex.o, thread.o), behind std::mutex and std::thread",
    "CreateSemaphoreA": "libwinpthread (cond.o), behind std::condition_variable",
    "OutputDebugStringA": "libwinpthread (thread.o), its debug trace",
    "FormatMessageA": "libstdc++ (system_error.o), the message of a std::system_error, as std::thread throws it",
}
RUNTIME = {
    "x86_64": RUNTIME_BOTH,
    "i386": dict(RUNTIME_BOTH, **{
        "GetModuleHandleA": "crtbegin.o (GCC's DWARF-2 unwinder looks for its DLL); libwinpthread (clock.o)",
        "LoadLibraryA": "crtbegin.o (GCC's DWARF-2 unwinder loads its DLL)",
    }),
}

def pe_machine(path):
    with open(path, "rb") as f:
        head = f.read(4096)
    at = struct.unpack_from("<I", head, 60)[0]
    return {0x14C: "i386", 0x8664: "x86_64"}.get(struct.unpack_from("<H", head, at + 4)[0], "?")


DLL_LINE = re.compile(r"^\s*DLL Name:\s*(\S+)\s*$")
# "\t<vma>\t <hint> <name>": an import by name. An import by ordinal has no name column.
IMPORT_LINE = re.compile(r"^\t([0-9a-fA-F]+)\t\s*([0-9]+)\s+(\S+)\s*$")


def imports(objdump, program):
    """The (dll, function) pairs a program imports by name."""
    out = subprocess.run([objdump, "-p", program], capture_output=True, text=True, check=True).stdout
    found, dll = [], None
    for line in out.splitlines():
        m = DLL_LINE.match(line)
        if m:
            dll = m.group(1)
            continue
        m = IMPORT_LINE.match(line)
        if m and dll:
            found.append((dll, m.group(3)))
        elif not line.strip():
            dll = None  # a DLL's list ends with a blank line
    return found


def declared_names(headers):
    """Every identifier the Windows headers mention, to tell whether a W form exists."""
    names = set()
    for root, _, files in os.walk(headers):
        for f in files:
            if f.endswith(".h"):
                with open(os.path.join(root, f), encoding="latin-1") as h:
                    names.update(re.findall(r"\b[A-Za-z_][A-Za-z0-9_]*\b", h.read()))
    return names


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--objdump", required=True)
    ap.add_argument("--headers", required=True)
    ap.add_argument("programs", nargs="+")
    args = ap.parse_args()

    failed = False
    names = declared_names(args.headers)
    if "CreateFileW" not in names:
        print(f"imports: no Windows headers under {args.headers}")
        return 1
    for name in sorted(NO_W_FORM):
        if name[:-1] + "W" in names:
            print(f"imports: {name} is allowed as having no W form, but the headers declare {name[:-1]}W")
            failed = True

    for program in args.programs:
        pairs = imports(args.objdump, program)
        label = os.path.basename(program)
        machine = pe_machine(program)
        if machine not in RUNTIME:
            print(f"{label}: no Windows program of a machine this test knows ({machine})")
            failed = True
            continue
        # An empty list would mean a table that was not read, not a clean program.
        if not any(dll.lower() == "kernel32.dll" for dll, _ in pairs):
            print(f"{label}: no imports from KERNEL32.dll read; objdump's output was not understood")
            failed = True
            continue
        allowed = NO_W_FORM | RUNTIME[machine].keys()
        ansi = sorted({(dll, fn) for dll, fn in pairs if fn.endswith("A") and fn not in allowed})
        if ansi:
            failed = True
            print(f"{label} ({machine}): {len(ansi)} ANSI functions imported:")
            for dll, fn in ansi:
                print(f"  {dll} {fn}")
        else:
            print(f"{label} ({machine}): {len(pairs)} functions imported, none of them an ANSI form")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
