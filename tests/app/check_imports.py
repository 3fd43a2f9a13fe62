#!/usr/bin/env python3
"""The Windows program must run on a bare Windows: it may import only DLLs that every
Windows has, none of the MinGW runtime's.

  check_imports.py OBJDUMP EXE
"""

import os
import subprocess
import sys

SYSTEM = {"advapi32.dll", "gdi32.dll", "kernel32.dll", "msvcrt.dll", "ole32.dll",
          "shell32.dll", "user32.dll", "comctl32.dll", "comdlg32.dll", "ws2_32.dll"}


def main(argv):
    if len(argv) != 3:
        print(__doc__)
        return 2
    objdump, exe = argv[1], argv[2]
    if not os.path.exists(exe):
        if os.environ.get("MRPATCH_REQUIRE_WINE") == "1":
            print("FAIL: %s is not built" % exe)
            return 1
        print("skipped: %s is not built" % exe)
        return 77
    out = subprocess.run([objdump, "-p", exe], stdout=subprocess.PIPE, check=True,
                         timeout=120).stdout.decode(errors="replace")
    dlls = sorted(line.split(":", 1)[1].strip() for line in out.splitlines()
                  if line.strip().startswith("DLL Name:"))
    print("imports: " + ", ".join(dlls))
    foreign = [d for d in dlls if d.lower() not in SYSTEM]
    if not dlls or foreign:
        print("FAIL: not system DLLs: %s" % (foreign or "no imports found"))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
