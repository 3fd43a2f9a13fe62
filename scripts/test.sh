#!/usr/bin/env bash
# Sets up and runs every test: the unit and integration tests under AddressSanitizer and
# UndefinedBehaviorSanitizer, and the Windows cross build.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

bash scripts/setup.sh

echo "== Linux build and tests (AddressSanitizer + UndefinedBehaviorSanitizer)"
cmake --preset linux-asan >/dev/null
cmake --build --preset linux-asan -j"$jobs"
ctest --preset linux-asan -j"$jobs"

echo "== Windows cross build (MinGW-w64)"
cmake --preset mingw-release >/dev/null
cmake --build --preset mingw-release -j"$jobs"

echo "== all tests passed"
