#!/usr/bin/env python3
"""End-to-end tests of MRManualPatch.exe under Wine.

  wine_e2e.py --work DIR --windows-build DIR setup      make the display and Wine prefix
  wine_e2e.py --work DIR --windows-build DIR run CASE   run one case (or "all")
  wine_e2e.py --work DIR --windows-build DIR teardown   end them, remove the prefix
  wine_e2e.py --list                                    the case names

Exit codes: 0 passed, 1 failed, 77 skipped (no Windows build; with MRPATCH_REQUIRE_WINE=1
a missing build fails instead). Screenshots and logs stay in DIR/cases/CASE.
"""

import argparse
import os
import sys
import time
import traceback

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from wine_case import Case  # noqa: E402
from wine_cases import CASES  # noqa: E402
from wine_env import SKIP, Failure, WineEnv  # noqa: E402


def run_case(env, name):
    started = time.time()
    case = Case(env, name)
    try:
        CASES[name](case)
    except Failure as failure:
        print("FAIL %s: %s (artifacts in %s)" % (name, failure, case.folder))
        return 1
    except Exception:
        traceback.print_exc()
        print("FAIL %s: error in the test (artifacts in %s)" % (name, case.folder))
        return 1
    finally:
        case.cleanup()
    print("ok   %s (%.1f s)" % (name, time.time() - started))
    return 0


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--work")
    parser.add_argument("--windows-build")
    parser.add_argument("--list", action="store_true")
    parser.add_argument("command", nargs="?")
    parser.add_argument("case", nargs="?")
    args = parser.parse_args()
    if args.list:
        print("\n".join(CASES))
        return 0
    if not args.work or not args.windows_build or args.command not in ("setup", "run",
                                                                        "teardown"):
        parser.print_help()
        return 2

    env = WineEnv(args.work, args.windows_build)
    if args.command == "teardown":
        env.teardown()
        return 0
    if not env.built():
        message = "no Windows build in %s (cmake --preset mingw-release)" % env.windows_build
        if os.environ.get("MRPATCH_REQUIRE_WINE") == "1":
            print("FAIL: " + message)
            return 1
        print("skipped: " + message)
        return SKIP
    try:
        if args.command == "setup":
            env.setup()
            print("Wine prefix ready in %s s, display :%d" %
                  (env.state["wineboot_seconds"], env.state["display"]))
            return 0
        env.load()
    except Failure as failure:
        print("FAIL: %s" % failure)
        return 1
    names = list(CASES) if args.case == "all" else [args.case]
    unknown = [n for n in names if n not in CASES]
    if unknown:
        print("unknown case %s; cases: %s" % (unknown, ", ".join(CASES)))
        return 2
    failed = sum(run_case(env, name) for name in names)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
