#!/usr/bin/env bash
# Installs every build and test dependency from Debian's packages. Idempotent and quiet:
# packages already present are left alone, and apt runs only when something is missing.
#
#   scripts/setup.sh            everything (Linux build, tests, Windows cross build, Wine)
#   scripts/setup.sh --bench    also the peers and tools the benchmarks compare against
set -euo pipefail

packages=(
  cmake make g++ pkg-config zlib1g-dev libgtest-dev libgmock-dev libzip-dev python3
  clang libclang-rt-14-dev
  g++-mingw-w64-x86-64 libz-mingw-w64-dev wine wine64 fonts-wine xvfb xdotool imagemagick
)
if [[ "${1:-}" == "--bench" ]]; then
  packages+=(libssl-dev xdelta3 zstd rdiff bsdiff time hyperfine)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if ((${#missing[@]} > 0)); then
  echo "setup: installing ${missing[*]}"
  sudo_cmd=()
  if [[ $(id -u) -ne 0 ]]; then sudo_cmd=(sudo); fi
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq >/dev/null
  "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}" >/dev/null
fi
