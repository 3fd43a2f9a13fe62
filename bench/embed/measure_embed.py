#!/usr/bin/env python3
"""Embeds a large package into MRManualPatch.exe and prints the peak memory and time of
the resource compiler and of the program's build step (resource compile and link).

  measure_embed.py [SIZE_MIB]        default 500

Cross build in build/bench-embed (left there); the package is written streaming, one
archive entry whose single package block covers the data area.
"""

import os
import struct
import subprocess
import sys
import time

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
WORK = os.path.join(ROOT, "build", "bench-embed")


def write_package(path, size):
    data_size = size - 4 - 1100 - 12
    record = (b"big.pkg".ljust(1024, b"\0") + b"0" * 32 + b"\0" + b"1" * 32 + b"\0" +
              b"\0\0" + struct.pack("<II", data_size, 1))
    chunk = os.urandom(1 << 20)
    with open(path, "wb") as f:
        f.write(struct.pack("<I", 1) + record + struct.pack("<B3xII", 1, 4 + 1100 + 12,
                                                             data_size))
        left = data_size
        while left:
            n = min(left, len(chunk))
            f.write(chunk[:n])
            left -= n


def measured(args, cwd=ROOT):
    """Runs a command; returns (peak resident memory of it and its children in MiB, s)."""
    started = time.time()
    process = subprocess.Popen(args, cwd=cwd, stdout=subprocess.DEVNULL)
    _, status, usage = os.wait4(process.pid, 0)
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit("failed: %s" % " ".join(args))
    return usage.ru_maxrss / 1024.0, time.time() - started


def main(argv):
    size = int(argv[1]) if len(argv) > 1 else 500
    os.makedirs(WORK, exist_ok=True)
    package = os.path.join(WORK, "package-%dMiB.bin" % size)
    if not os.path.exists(package) or os.path.getsize(package) != size << 20:
        write_package(package, size << 20)
    build = os.path.join(WORK, "build")
    subprocess.run(["cmake", "-S", ROOT, "-B", build, "-DCMAKE_BUILD_TYPE=Release",
                    "-DCMAKE_TOOLCHAIN_FILE=" + os.path.join(ROOT, "cmake",
                                                             "mingw-w64-x86_64.cmake"),
                    "-DMRPATCH_PACKAGE=" + package], check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", build, "--target", "mrpatch_core", "-j2"], check=True,
                   stdout=subprocess.DEVNULL)
    exe = os.path.join(build, "src", "app", "MRManualPatch.exe")
    if os.path.exists(exe):
        os.remove(exe)

    # The resource compiler alone, with the arguments the build gives it.
    windres_peak, windres_time = measured([
        "x86_64-w64-mingw32-windres", "-O", "coff", "-DMRPATCH_RC_VERSION=0.1.0",
        "-DMRPATCH_VERSION_COMMAS=0,1,0", "-I", os.path.join(ROOT, "resources"), "-I",
        os.path.join(ROOT, "src", "app"), "-I", os.path.join(build, "src", "app"),
        os.path.join(ROOT, "resources", "MRManualPatch.rc"), os.path.join(WORK, "rc.o")])
    os.remove(os.path.join(WORK, "rc.o"))
    # The program's build step: compile the resources, link.
    step_peak, step_time = measured(["cmake", "--build", build, "--target", "MRManualPatch"])

    print("package            %6d MiB" % size)
    print("windres            peak %6.0f MiB  %5.1f s" % (windres_peak, windres_time))
    print("resources + link   peak %6.0f MiB  %5.1f s" % (step_peak, step_time))
    print("MRManualPatch.exe  %6.0f MiB" % (os.path.getsize(exe) / 1048576.0))


if __name__ == "__main__":
    main(sys.argv)
