#!/usr/bin/env python3
"""Writes a module-definition file forwarding every export of a DLL to the
same name in TARGET_MODULE: a winhttp.dll built from it works as the real
one, renamed, does.
usage: forwarding_def.py OBJDUMP REAL_DLL TARGET_MODULE OUT.def"""

import re
import subprocess
import sys

objdump, real, target, out = sys.argv[1:]
listing = subprocess.run([objdump, "-p", real], capture_output=True, text=True, check=True).stdout
table = listing.split("[Ordinal/Name Pointer] Table", 1)[1].split("\n\n", 1)[0]
names = re.findall(r"^\s+\[\s*\d+\]\s+(\S+)$", table, re.MULTILINE)
if not names:
    sys.exit("%s: no exported names" % real)
with open(out, "w") as f:
    f.write("EXPORTS\n" + "".join("    %s=%s.%s\n" % (n, target, n) for n in names))
