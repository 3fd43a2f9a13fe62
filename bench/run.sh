#!/usr/bin/env bash
# The end-to-end benchmark: mrpatch build and apply against the physical limit (cp, cp +
# fsync) and the delta tools Debian ships, on a generated client update, in one run.
#
#   bench/run.sh [--size-mb N] [--seed S] [--runs R] [--work DIR] [--keep]
#
#   --size-mb N  size of the largest archive in MiB (default 1024)
#   --seed S     seed of the generated client (default 1)
#   --runs R     timed runs of every apply method per cache state (default 7)
#   --work DIR   where the client and the patches go (default ${TMPDIR:-/tmp}/mrpatch-bench);
#                it needs about 3.5 times N MiB free, on the disk to be measured
#   --keep       keep the generated client and the patches afterwards
#
# Installs its tools (scripts/setup.sh --bench), builds the linux-release preset, prints
# one table with every figure and whether each target holds, and writes it to
# bench/RESULTS.md (only for the default size and seed, so that a quick run does not
# replace the committed results; set RESULTS=FILE to choose). Exit status 1 when a method
# produced wrong bytes. docs/benchmarks.md explains the method and the figures.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
size=1024
seed=1
runs=7
work="${TMPDIR:-/tmp}/mrpatch-bench"
keep=0
while (($# > 0)); do
  case "$1" in
    --size-mb) size="$2"; shift 2 ;;
    --seed) seed="$2"; shift 2 ;;
    --runs) runs="$2"; shift 2 ;;
    --work) work="$2"; shift 2 ;;
    --keep) keep=1; shift ;;
    -h|--help) sed -n '2,20p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "bench/run.sh: unknown option $1 (see --help)" >&2; exit 2 ;;
  esac
done

results="${RESULTS:-}"
if [[ -z "$results" && "$size" == 1024 && "$seed" == 1 ]]; then
  results="$root/bench/RESULTS.md"
fi

cd "$root"
bash scripts/setup.sh --bench
echo "bench: building linux-release" >&2
cmake --preset linux-release >/dev/null
cmake --build --preset linux-release -j2 --target mrpatch md5_bench >/dev/null

mkdir -p "$work"
args=(--root "$root" --build "$root/build/linux-release" --work "$work"
      --size-mb "$size" --seed "$seed" --runs "$runs")
if [[ -n "$results" ]]; then args+=(--results "$results"); fi
if ((keep)); then args+=(--keep); fi
status=0
python3 "$root/bench/bench.py" "${args[@]}" || status=$?
if ((!keep)); then rm -rf "$work/client-$size-$seed"; fi
exit "$status"
