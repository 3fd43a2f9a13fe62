#!/usr/bin/env bash
# Builds the Windows program and runs its end-to-end tests under Wine on a virtual
# display, outside ctest:
#
#   scripts/e2e_wine.sh              every case
#   scripts/e2e_wine.sh CASE ...     some cases (tests/app/e2e/wine_e2e.py --list)
#
# Screenshots, logs and install folders stay in build/e2e/cases/CASE.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset mingw-release >/dev/null
cmake --build --preset mingw-release -j"$(nproc)"

e2e=(python3 tests/app/e2e/wine_e2e.py --work build/e2e --windows-build build/mingw-release)
trap '"${e2e[@]}" teardown' EXIT
export MRPATCH_REQUIRE_WINE=1
"${e2e[@]}" setup
cases=("$@")
if ((${#cases[@]} == 0)); then cases=(all); fi
status=0
for c in "${cases[@]}"; do
  "${e2e[@]}" run "$c" || status=1
done
exit $status
