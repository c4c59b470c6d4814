#!/usr/bin/env python3
"""The built tokvin.exe as a Windows user can check it, without running
it: a GUI program for the build's processor (PE32 x86, or PE32+ x86-64 with
high-entropy ASLR) with ASLR and DEP, no section both writable and
executable, imports at load time from Windows' KnownDLLs only (never
winmm.dll or comctl32.dll, which Windows would seek in the program's
folder first), within 64 KiB, and its
resources: the dialog 100 and the icon group 900 with its nine images, in
German (Germany), and nothing else. The application manifest that Windows
10 and 11 read lies beside it (tokvin.exe.manifest): common controls 6,
DPI awareness, the supported Windows versions, no elevation.

usage: pe_test.py tokvin.exe 4|8      (the build's pointer size)
"""
import struct
import sys
import xml.etree.ElementTree as ET

# Windows' KnownDLLs among those the program uses: only these are never
# looked for in the program's folder. winmm and comctl32 are delay-loaded.
KNOWN_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "msvcrt.dll"}
HIGH_ENTROPY_VA, DYNAMIC_BASE, NX_COMPAT = 0x0020, 0x0040, 0x0100
RELOCS_STRIPPED = 0x0001
SCN_EXECUTE, SCN_WRITE = 0x20000000, 0x80000000

data = open(sys.argv[1], "rb").read()
wide = sys.argv[2] == "8"
results = []


def check(cond, what):
    print(("ok      " if cond else "FAILED  ") + what)
    results.append(cond)


pe = struct.unpack_from("<I", data, 0x3C)[0]
check(data[:2] == b"MZ" and data[pe:pe + 4] == b"PE\0\0", "a PE file")
machine, nsections, _, _, _, optsize, characteristics = struct.unpack_from("<HHIIIHH", data, pe + 4)
opt = pe + 24
magic = struct.unpack_from("<H", data, opt)[0]
if wide:
    check(machine == 0x8664 and magic == 0x20B, "64-bit x86-64 (PE32+)")
else:
    check(machine == 0x14C and magic == 0x10B, "32-bit x86 (PE32)")
subsystem, dllchar = struct.unpack_from("<HH", data, opt + 68)
check(subsystem == 2, "a GUI program, no console window")
check(dllchar & DYNAMIC_BASE != 0, "ASLR: DYNAMIC_BASE")
check(dllchar & NX_COMPAT != 0, "DEP: NX_COMPAT")
if wide:
    check(dllchar & HIGH_ENTROPY_VA != 0, "64-bit ASLR: HIGH_ENTROPY_VA")
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


directories = opt + (112 if magic == 0x20B else 96)
import_rva = struct.unpack_from("<I", data, directories + 8)[0]
dlls = []
off = rva_to_off(import_rva)
while True:
    entry = struct.unpack_from("<IIIII", data, off)
    if entry == (0, 0, 0, 0, 0):
        break
    dlls.append(cstr(rva_to_off(entry[3])).lower())
    off += 20
check(set(dlls) <= KNOWN_DLLS, "imports only Windows' KnownDLLs: " + ", ".join(sorted(dlls)))
check(len(data) <= 64 * 1024, "size %d bytes, within 64 KiB" % len(data))

# Resources: type -> name -> language -> data (RVA, size)
res_rva = struct.unpack_from("<I", data, directories + 2 * 8)[0]
res_base = rva_to_off(res_rva)


def res_dir(off):
    named, ids = struct.unpack_from("<HH", data, off + 12)
    for i in range(named + ids):
        key, target = struct.unpack_from("<II", data, off + 16 + 8 * i)
        yield key, target


def res_tree(off, depth):
    tree = {}
    for key, target in res_dir(off):
        if depth < 2:
            tree[key] = res_tree(res_base + (target & 0x7FFFFFFF), depth + 1)
        else:
            tree[key] = struct.unpack_from("<II", data, res_base + target)
    return tree


resources = res_tree(res_base, 0)
GERMAN = 0x0407
RT_ICON, RT_DIALOG, RT_GROUP_ICON = 3, 5, 14
check(sorted(resources) == [RT_ICON, RT_DIALOG, RT_GROUP_ICON], "no resources but the dialog and the icon: "
      + ", ".join(str(t) for t in sorted(resources)))
check(list(resources.get(RT_DIALOG, {})) == [100] and list(resources[RT_DIALOG][100]) == [GERMAN],
      "dialog 100, German (Germany)")
check(list(resources.get(RT_GROUP_ICON, {})) == [900] and list(resources[RT_GROUP_ICON][900]) == [GERMAN],
      "icon group 900, German (Germany)")
check(len(resources.get(RT_ICON, {})) == 9, "nine icon images")

try:
    root = ET.parse(sys.argv[1] + ".manifest").getroot()
    well_formed = True
except (OSError, ET.ParseError):
    root, well_formed = ET.Element("none"), False
check(well_formed, "the manifest beside the program is well-formed XML")
ASM1, ASM3 = "{urn:schemas-microsoft-com:asm.v1}", "{urn:schemas-microsoft-com:asm.v3}"
COMPAT = "{urn:schemas-microsoft-com:compatibility.v1}"
WS2005 = "{http://schemas.microsoft.com/SMI/2005/WindowsSettings}"
deps = [a.attrib for a in root.iter(ASM1 + "assemblyIdentity") if a.get("name") == "Microsoft.Windows.Common-Controls"]
check(len(deps) == 1 and deps[0].get("version") == "6.0.0.0" and deps[0].get("processorArchitecture") == "*"
      and deps[0].get("publicKeyToken") == "6595b64144ccf1df", "depends on Common-Controls 6.0.0.0, any processor")
dpi = [e.text.strip().lower() for e in root.iter(WS2005 + "dpiAware")]
check(dpi == ["true"], "DPI-aware (system-aware)")
check(not any(e.tag.endswith("dpiAwareness") for e in root.iter()), "no per-monitor awareness asked for")
WINDOWS = {"{e2011457-1546-43c5-a5fe-008deee3d3f0}": "Vista", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}": "7",
           "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}": "8", "{1f676c76-80e1-4239-95bb-83d0f6d0da78}": "8.1",
           "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}": "10/11"}
supported = sorted(e.get("Id", "").lower() for e in root.iter(COMPAT + "supportedOS"))
check(supported == sorted(WINDOWS), "supportedOS: Windows " + ", ".join(WINDOWS.values()))
levels = [e.attrib for e in root.iter(ASM3 + "requestedExecutionLevel")]
check(len(levels) == 1 and levels[0].get("level") == "asInvoker", "requestedExecutionLevel asInvoker")

print("%d passed, %d failed" % (results.count(True), results.count(False)))
sys.exit(0 if all(results) else 1)
