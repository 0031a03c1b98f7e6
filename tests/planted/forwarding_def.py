#!/usr/bin/env python3
"""Writes a module-definition file whose every export forwards to the same
name in another DLL: a planted winhttp.dll built from it behaves as the real
one, renamed, does.
usage: forwarding_def.py OBJDUMP REAL_DLL TARGET_MODULE OUT.def"""

import re
import subprocess
import sys


def main():
    objdump, real, target, out = sys.argv[1:]
    listing = subprocess.run([objdump, "-p", real], capture_output=True, text=True,
                             check=True).stdout
    table = listing.split("[Ordinal/Name Pointer] Table", 1)[1].split("\n\n", 1)[0]
    names = re.findall(r"^\s+\[\s*\d+\]\s+(\S+)$", table, re.MULTILINE)
    if not names:
        raise SystemExit("%s: no exported names" % real)
    with open(out, "w") as f:
        f.write("EXPORTS\n")
        for name in names:
            f.write("    %s=%s.%s\n" % (name, target, name))


if __name__ == "__main__":
    main()
