#!/usr/bin/env python3
"""Checks that Windows programs load on the oldest Windows each architecture supports.

    check_pe_imports.py --arch x86|x64 [--subsystem windows|console] [--manifest]
                        [--listing FILE] [--propose] [--delete-refused] EXE...

x86 programs must load on Windows XP SP2, x64 programs on Windows XP x64 / Server 2003 SP2.
For each program the check reads its PE headers with MinGW-w64's objdump and refuses:
  - a machine other than the architecture's (i386 / x86-64),
  - a subsystem version other than 5.01 (x86) or 5.02 (x64): XP's loader rejects newer ones,
  - with --subsystem, a program of the other subsystem (a window program where a prompt must
    wait for a console program, or the other way round),
  - delay-loaded imports (they would escape this check),
  - with --manifest, a program whose embedded manifest does not ask for administrator rights,
    common controls 6 and DPI awareness,
  - any imported DLL function that the allow-list does not show on that Windows,
  - a load-time import from a DLL that not every Windows from XP to 11 takes from the system
    folder whatever lies beside the program (the others are loaded at run time by their full
    system path, so that a copy in the download folder never loads into the elevated program).
The allow-list is packaging/windows/xp-imports/*.txt: one line per DLL!function with the
first Windows that has it and where that was read. --listing writes every import to FILE.
--propose prints, for each import the allow-list lacks, the first _WIN32_WINNT at which
MinGW-w64's headers declare it, as a starting point for a new allow-list line.
"""

import argparse
import os
import re
import subprocess
import sys
import tempfile
from dataclasses import dataclass, field
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
ALLOW_DIR = ROOT / "packaging" / "windows" / "xp-imports"

# The Windows releases an allow-list line may name, oldest first.
RELEASES = ["NT4", "2000", "XP", "XP-SP1", "XP-SP2", "2003", "2003-SP1", "2003-SP2", "XP-SP3",
            "Vista", "7", "8", "8.1", "10"]

# The DLLs that every Windows from XP to 11 loads from the system folder only: the known DLLs
# of each, and comctl32 through the manifest's side-by-side assembly.
SYSTEM_FOLDER_DLLS = frozenset(["kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll",
                                "shell32.dll", "ole32.dll", "oleaut32.dll", "comdlg32.dll",
                                "msvcrt.dll", "rpcrt4.dll", "comctl32.dll"])

# objdump's names of the two subsystems a program can have here.
SUBSYSTEM_KINDS = {"Windows GUI": "windows", "Windows CUI": "console"}


@dataclass(frozen=True)
class Target:
    name: str
    objdump: str  # MinGW-w64's x86-64 objdump reads both formats: a wrong one is named
    file_format: str
    subsystem: tuple
    accepted: frozenset
    winnt: int  # the _WIN32_WINNT that --propose declares the headers with
    compiler: str


TARGETS = {
    "x86": Target("Windows XP SP2 (x86)", "x86_64-w64-mingw32-objdump", "pei-i386", (5, 1),
                  frozenset(["NT4", "2000", "XP", "XP-SP1", "XP-SP2"]), 0x0501,
                  "i686-w64-mingw32-gcc-win32"),
    "x64": Target("Windows XP x64 / Server 2003 SP2 (x64)", "x86_64-w64-mingw32-objdump",
                  "pei-x86-64", (5, 2),
                  frozenset(["NT4", "2000", "XP", "XP-SP1", "XP-SP2", "2003", "2003-SP1",
                             "2003-SP2"]), 0x0502, "x86_64-w64-mingw32-gcc-win32"),
}


@dataclass
class Entry:
    release: str
    source: str
    where: str


@dataclass
class Image:
    file_format: str = ""
    subsystem: tuple = (0, 0)
    subsystem_kind: str = ""  # "windows" or "console"
    delay_imports: bool = False
    imports: list = field(default_factory=list)  # (DLL, function) in file order


def load_allow_list(folder):
    """Reads every *.txt below `folder`: "DLL!function RELEASE source text"."""
    entries = {}
    for path in sorted(Path(folder).glob("*.txt")):
        for number, line in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
            text = line.strip()
            if not text or text.startswith("#"):
                continue
            where = f"{path.name}:{number}"
            parts = text.split(None, 2)
            if len(parts) < 3 or "!" not in parts[0]:
                raise SystemExit(f"{where}: expected 'DLL!function RELEASE source', got: {line}")
            name, release, source = parts
            if release not in RELEASES:
                raise SystemExit(f"{where}: unknown release {release} (one of {', '.join(RELEASES)})")
            dll, function = name.split("!", 1)
            key = (dll.lower(), function)
            if key in entries:
                raise SystemExit(f"{where}: {name} is listed twice (first at {entries[key].where})")
            entries[key] = Entry(release, source, where)
    return entries


def read_image(objdump, exe):
    result = subprocess.run([objdump, "-p", str(exe)], capture_output=True, text=True)
    if result.returncode != 0:
        raise SystemExit(f"{exe}: {objdump} failed: {result.stderr.strip()}")
    image = Image()
    major = minor = None
    dll = None
    for line in result.stdout.splitlines():
        if m := re.search(r"file format (\S+)", line):
            image.file_format = m.group(1)
        elif m := re.match(r"MajorSubsystemVersion\s+(\d+)", line):
            major = int(m.group(1))
        elif m := re.match(r"MinorSubsystemVersion\s+(\d+)", line):
            minor = int(m.group(1))
        elif m := re.match(r"Subsystem\s+[0-9a-fA-F]+\s+\((.*)\)", line):
            image.subsystem_kind = SUBSYSTEM_KINDS.get(m.group(1), m.group(1))
        elif m := re.match(r"Entry d ([0-9a-fA-F]+) ([0-9a-fA-F]+) Delay Import Directory", line):
            image.delay_imports = int(m.group(1), 16) != 0 or int(m.group(2), 16) != 0
        elif m := re.match(r"\s*DLL Name: (\S+)", line):
            dll = m.group(1)
        elif dll and not line.strip():
            dll = None
        elif dll and (m := re.match(r"\s+[0-9a-fA-F]+\s+(\d+)\s+<none>\s*$", line)):
            image.imports.append((dll, f"#{m.group(1)}"))
        elif dll and (m := re.match(r"\s+[0-9a-fA-F]+\s+(\d+)\s+(\S+)\s*$", line)):
            image.imports.append((dll, m.group(2)))
    image.subsystem = (major, minor)
    return image


def resource_bytes(objdump, exe):
    """The raw bytes of the program's resource section (where the manifest lies as text)."""
    result = subprocess.run([objdump, "-s", "-j", ".rsrc", str(exe)], capture_output=True,
                            text=True)
    data = bytearray()
    for line in result.stdout.splitlines():
        if m := re.match(r"\s[0-9a-fA-F]+ ((?:[0-9a-fA-F]{2,8} ){1,4})", line + " "):
            data += bytes.fromhex(m.group(1).replace(" ", ""))
    return bytes(data)


def manifest_problems(objdump, exe):
    resources = resource_bytes(objdump, exe)
    required = {
        b'level="requireAdministrator"': "administrator rights",
        b'name="Microsoft.Windows.Common-Controls"': "common controls 6",
        re.compile(rb"<dpiAware[^>]*>\s*true\s*</dpiAware>"): "DPI awareness",
    }
    problems = []
    for pattern, what in required.items():
        found = pattern.search(resources) if hasattr(pattern, "search") else pattern in resources
        if not found:
            problems.append(f"the embedded manifest does not declare {what}")
    return problems


def check(exe, target, entries, listing, subsystem_kind, manifest=False):
    image = read_image(target.objdump, exe)
    problems = []
    if manifest:
        problems += manifest_problems(target.objdump, exe)
    if subsystem_kind and image.subsystem_kind != subsystem_kind:
        problems.append(f"{image.subsystem_kind or 'unknown'} subsystem, expected {subsystem_kind}")
    if image.file_format != target.file_format:
        problems.append(f"file format {image.file_format or 'unknown'}, expected {target.file_format}")
    if image.subsystem != target.subsystem:
        problems.append("subsystem version %s.%02d, expected %d.%02d" %
                        (image.subsystem[0], image.subsystem[1] or 0, *target.subsystem))
    if image.delay_imports:
        problems.append("delay-loaded imports (the check cannot see them): link them normally "
                        "or look the functions up with GetProcAddress")
    if not image.imports:
        problems.append("no imports found: objdump's output was not understood")
    refused = []
    for dll in sorted({dll for dll, _ in image.imports if dll.lower() not in SYSTEM_FOLDER_DLLS},
                      key=str.lower):
        problems.append(f"imports {dll} at load time, which Windows may take from the program's "
                        "folder: load it at run time by its full system path instead")
    for dll, function in image.imports:
        entry = entries.get((dll.lower(), function))
        if entry is None:
            refused.append((dll, function))
            problems.append(f"imports {dll}!{function}, which the allow-list "
                            f"({ALLOW_DIR.relative_to(ROOT)}) does not show on {target.name}")
        elif entry.release not in target.accepted:
            refused.append((dll, function))
            problems.append(f"imports {dll}!{function}, which needs Windows {entry.release} "
                            f"({entry.source}; {entry.where}): look it up at run time instead")
    if listing:
        with open(listing, "a", encoding="utf-8") as out:
            for dll, function in image.imports:
                entry = entries.get((dll.lower(), function))
                out.write(f"{exe}\t{dll}!{function}\t{entry.release if entry else '?'}\n")
    dlls = sorted({dll for dll, _ in image.imports}, key=str.lower)
    for problem in problems:
        print(f"{exe}: {problem}", file=sys.stderr)
    if not problems:
        print(f"{exe}: {image.file_format}, subsystem {image.subsystem[0]}.{image.subsystem[1]:02d}, "
              f"{len(image.imports)} imports from {', '.join(dlls)}: all on {target.name}")
    return not problems, refused


def declared_from(target, functions):
    """The first _WIN32_WINNT at which MinGW-w64's headers declare each function, and where."""
    headers = ["windows.h", "shlobj.h", "shellapi.h", "commctrl.h", "commdlg.h", "setupapi.h",
               "winver.h", "mmsystem.h", "objbase.h", "shlwapi.h", "psapi.h"]
    found = {}
    for winnt in (0x0500, 0x0501, 0x0502, 0x0600, 0x0601, 0x0A00):
        with tempfile.NamedTemporaryFile("w", suffix=".c", delete=False) as source:
            source.write("".join(f"#include <{header}>\n" for header in headers))
        try:
            text = subprocess.run(
                [target.compiler, "-E", f"-D_WIN32_WINNT=0x{winnt:04x}", f"-DWINVER=0x{winnt:04x}",
                 "-DUNICODE", "-D_UNICODE", source.name],
                capture_output=True, text=True, check=True).stdout
        finally:
            os.unlink(source.name)
        header = "?"
        for line in text.splitlines():
            if m := re.match(r'# \d+ "([^"]+)"', line):
                header = os.path.basename(m.group(1))
                continue
            for function in functions:
                if function not in found and re.search(rf"\b{re.escape(function)}\s*\(", line):
                    found[function] = (winnt, header)
    return found


def propose(target, refused):
    """Prints candidate allow-list lines for unlisted functions; a person checks each."""
    releases = {0x0500: "2000", 0x0501: "XP", 0x0502: "2003", 0x0600: "Vista", 0x0601: "7",
                0x0A00: "10"}
    found = declared_from(target, sorted({function for dll, function in refused
                                          if dll.lower() != "msvcrt.dll"}))
    for dll, function in refused:
        if dll.lower() == "msvcrt.dll":
            print(f"{dll}!{function} ? read the section of MinGW-w64's "
                  "mingw-w64-crt/lib-common/msvcrt.def.in that lists it")
        elif function in found:
            winnt, header = found[function]
            if winnt == 0x0500:  # no guard says little: the headers miss many newer functions
                print(f"{dll}!{function} ? mingw-w64 10 {header}: declared at _WIN32_WINNT 0x0500 "
                      "without a later guard: read its documentation")
            else:
                print(f"{dll}!{function} {releases[winnt]} mingw-w64 10 {header}: declared from "
                      f"_WIN32_WINNT 0x{winnt:04x}")
        else:
            print(f"{dll}!{function} ? not declared in MinGW-w64's Win32 headers: read its "
                  "documentation")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--arch", choices=sorted(TARGETS), required=True)
    parser.add_argument("--subsystem", choices=sorted(set(SUBSYSTEM_KINDS.values())),
                        help="the subsystem the program must have")
    parser.add_argument("--manifest", action="store_true",
                        help="require the manifest's administrator, common controls and DPI lines")
    parser.add_argument("--allow", default=str(ALLOW_DIR), help="the allow-list folder")
    parser.add_argument("--listing", help="append every import to this file")
    parser.add_argument("--propose", action="store_true",
                        help="print candidate allow-list lines for unlisted imports")
    parser.add_argument("--delete-refused", action="store_true",
                        help="delete a refused program, so that a later build links it again")
    parser.add_argument("exe", nargs="+")
    options = parser.parse_args()
    target = TARGETS[options.arch]
    entries = load_allow_list(options.allow)
    if options.listing:
        Path(options.listing).write_text("", encoding="utf-8")
    passed = True
    for exe in options.exe:
        ok, refused = check(exe, target, entries, options.listing, options.subsystem,
                            options.manifest)
        passed = passed and ok
        if not ok and options.delete_refused:
            Path(exe).unlink(missing_ok=True)
        unknown = [(dll, function) for dll, function in refused
                   if (dll.lower(), function) not in entries]
        if unknown and options.propose:
            propose(target, unknown)
    return 0 if passed else 1


if __name__ == "__main__":
    sys.exit(main())
