#!/usr/bin/env bash
# Sets up and runs every test: the unit and integration tests under AddressSanitizer and
# UndefinedBehaviorSanitizer, the Windows cross build, the threaded tests under
# ThreadSanitizer and a short run of every fuzz target (FUZZ_SECONDS, default 60).
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

echo "== Threads under ThreadSanitizer (run driver, status store, progress snapshot)"
cmake --preset linux-tsan >/dev/null
cmake --build --preset linux-tsan -j"$jobs" --target mrpatch_tests
ctest --preset linux-tsan -j"$jobs" -R "${TSAN_TESTS:-PatchRun|PatchStatus|Paint}"

echo "== Fuzzing smoke run (${FUZZ_SECONDS:=60} s per target)"
bash scripts/fuzz.sh "$FUZZ_SECONDS"

echo "== all tests passed"
