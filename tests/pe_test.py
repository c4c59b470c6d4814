#!/usr/bin/env python3
"""Hardening of the built tokvin.exe, as a Windows user can check it: a
32-bit GUI program with ASLR and DEP, no section both writable and
executable, imports from Windows' own DLLs only, within 64 KiB.

usage: pe_test.py tokvin.exe
"""
import struct
import sys

ALLOWED = {"kernel32.dll", "user32.dll", "comctl32.dll", "winmm.dll", "advapi32.dll", "msvcrt.dll"}
DYNAMIC_BASE, NX_COMPAT = 0x0040, 0x0100
RELOCS_STRIPPED = 0x0001
SCN_EXECUTE, SCN_WRITE = 0x20000000, 0x80000000

data = open(sys.argv[1], "rb").read()
results = []


def check(cond, what):
    print(("ok      " if cond else "FAILED  ") + what)
    results.append(cond)


pe = struct.unpack_from("<I", data, 0x3C)[0]
check(data[:2] == b"MZ" and data[pe:pe + 4] == b"PE\0\0", "a PE file")
machine, nsections, _, _, _, optsize, characteristics = struct.unpack_from("<HHIIIHH", data, pe + 4)
opt = pe + 24
magic = struct.unpack_from("<H", data, opt)[0]
check(machine == 0x14C and magic == 0x10B, "32-bit x86 (PE32)")
subsystem, dllchar = struct.unpack_from("<HH", data, opt + 68)
check(subsystem == 2, "a GUI program, no console window")
check(dllchar & DYNAMIC_BASE != 0, "ASLR: DYNAMIC_BASE")
check(dllchar & NX_COMPAT != 0, "DEP: NX_COMPAT")
check(characteristics & RELOCS_STRIPPED == 0, "relocations kept, so ASLR can move it")

sections = []
for i in range(nsections):
    off = opt + optsize + 40 * i
    name = data[off:off + 8].rstrip(b"\0").decode()
    vsize, vaddr, rawsize, rawptr = struct.unpack_from("<IIII", data, off + 8)
    flags = struct.unpack_from("<I", data, off + 36)[0]
    sections.append((name, vaddr, vsize, rawptr, rawsize))
    check(not (flags & SCN_WRITE and flags & SCN_EXECUTE), "section %s not both writable and executable" % name)


def rva_to_off(rva):
    for _, vaddr, vsize, rawptr, rawsize in sections:
        if vaddr <= rva < vaddr + max(vsize, rawsize):
            return rva - vaddr + rawptr
    raise ValueError("RVA %#x outside the sections" % rva)


def cstr(off):
    return data[off:data.index(b"\0", off)].decode()


import_rva = struct.unpack_from("<I", data, opt + 96 + 8)[0]
dlls = []
off = rva_to_off(import_rva)
while True:
    entry = struct.unpack_from("<IIIII", data, off)
    if entry == (0, 0, 0, 0, 0):
        break
    dlls.append(cstr(rva_to_off(entry[3])).lower())
    off += 20
check(set(dlls) <= ALLOWED, "imports only Windows' own DLLs: " + ", ".join(sorted(dlls)))
check(len(data) <= 64 * 1024, "size %d bytes, within 64 KiB" % len(data))

print("%d passed, %d failed" % (results.count(True), results.count(False)))
sys.exit(0 if all(results) else 1)
