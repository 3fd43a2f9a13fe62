#!/usr/bin/env python3
"""Writes the sample package that the Windows program carries when no package is named
at configure time: one whole-file entry that adds a short text file to the install folder.

  make_sample_package.py OUT
"""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import patch_package  # noqa: E402

TEXT = (b"This folder was patched by MRManualPatch with its built-in sample package.\r\n"
        b"A real patch carries the changed game archives instead of this note.\r\n")


def main(argv):
    if len(argv) != 2:
        print(__doc__)
        return 2
    package = patch_package.build_package(
        [patch_package.whole_file_entry("MRPatch-sample.txt", TEXT)])
    with open(argv[1], "wb") as f:
        f.write(package)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
