#!/usr/bin/env bash
# Sets up and runs every test: the unit and integration tests under AddressSanitizer and
# UndefinedBehaviorSanitizer, the Windows cross build, and the Windows program under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

bash scripts/setup.sh

echo "== Linux build and tests (AddressSanitizer + UndefinedBehaviorSanitizer)"
cmake --preset linux-asan >/dev/null
cmake --build --preset linux-asan -j"$jobs"
ctest --preset linux-asan -j"$jobs" -LE wine

echo "== Windows cross build (MinGW-w64)"
cmake --preset mingw-release >/dev/null
cmake --build --preset mingw-release -j"$jobs"

echo "== Windows program under Wine (screenshots in build/linux-asan/e2e/cases)"
MRPATCH_REQUIRE_WINE=1 ctest --preset linux-asan -L wine

echo "== all tests passed"
