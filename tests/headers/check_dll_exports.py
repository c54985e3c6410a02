#!/usr/bin/env python3
"""The DLL exports exactly the QV names the public headers declare.

usage: check_dll_exports.py <include dir> <objdump> <dll>
"""
import pathlib
import re
import subprocess
import sys

include, objdump, dll = sys.argv[1:4]
# A function's name precedes '('; a variable's precedes ';' or "[];".
declared = re.compile(r"QV_API[^;(]*?\b((?:QV|IQVUnknown_)\w+)\s*(\(|(\[\s*\])?\s*;)")
header = set()
for path in pathlib.Path(include, "qvcore5").glob("*.h"):
    header.update(m.group(1) for m in declared.finditer(path.read_text()))
dump = subprocess.run([objdump, "-p", dll], check=True, capture_output=True, text=True).stdout
table = dump.split("[Ordinal/Name Pointer] Table", 1)
exported = set(re.findall(r"^\s*\[\s*\d+\]\s+(\S+)\s*$", table[1], re.M)) if len(table) == 2 else set()
if not exported:
    sys.exit(f"could not list the exports of {dll}")
missing = sorted(header - exported)
extra = sorted(exported - header)
for name in missing:
    print(f"{name} is declared but not exported")
for name in extra:
    print(f"{name} is exported but not declared")
sys.exit(1 if missing or extra else 0)
