#!/usr/bin/env bash
# The demo: sets up, builds, generates a sample client in an old and a new version, makes
# the package with `mrpatch build`, patches a copy of the old client with `mrpatch apply`
# and checks that it now equals the new client byte for byte. When Wine is available it
# also makes MRManualPatch.exe carry the same package, runs it on a virtual screen and
# saves a screenshot of the finished window.
#
#   scripts/demo.sh [--no-wine] [--keep]
#     --no-wine   skip the Windows part
#     --keep      keep the work folder (printed at the end)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
use_wine=1
keep=0
for arg in "$@"; do
  case "$arg" in
    --no-wine) use_wine=0 ;;
    --keep) keep=1 ;;
    *) echo "usage: scripts/demo.sh [--no-wine] [--keep]" >&2; exit 2 ;;
  esac
done

step() { printf '\n== %s\n' "$*"; }

step "Setting up and building"
bash scripts/setup.sh
cmake --preset linux-release >/dev/null
cmake --build --preset linux-release -j"$(nproc)" --target mrpatch >/dev/null
mrpatch="$root/build/linux-release/src/cli/mrpatch"

work=$(mktemp -d /tmp/mrpatch-demo-XXXXXX)
if ((keep)); then
  trap 'echo; echo "work folder kept: $work"' EXIT
else
  trap 'rm -rf "$work"' EXIT
fi

step "Generating a sample client, old and new"
python3 scripts/sample_client.py "$work/client" --seed 7 --archives 3 \
  --archive-size $((24 << 20)) --member-size $((48 << 10)) --edit-fraction 0.1 \
  --summary "$work/oracle.txt"
(cd "$work/client" && find old new -type f | sort | xargs ls -l | awk '{printf "  %10d  %s\n", $5, $9}')

step "mrpatch build"
"$mrpatch" build --old "$work/client/old" --new "$work/client/new" -o "$work/patch.pkgdata"

step "mrpatch inspect"
"$mrpatch" inspect "$work/patch.pkgdata"

step "mrpatch apply (on a copy of the old client)"
cp -r "$work/client/old" "$work/install"
"$mrpatch" apply --package "$work/patch.pkgdata" --install-dir "$work/install"

step "Comparing with the new client"
same_tree() {  # same_tree A B: every file of B is in A with the same bytes, and no more
  local a=$1 b=$2 count=0
  while IFS= read -r -d '' f; do
    rel=${f#"$b"/}
    cmp -s "$a/$rel" "$f" || { echo "  differs: $rel"; return 1; }
    count=$((count + 1))
  done < <(find "$b" -type f -print0)
  [[ $(find "$a" -type f | wc -l) -eq $count ]] || { echo "  extra files in $a"; return 1; }
  echo "  $count files"
}
if same_tree "$work/install" "$work/client/new"; then
  echo "The patched client equals the new client byte for byte."
else
  echo "The patched client differs from the new client." >&2
  exit 1
fi

if ((use_wine == 0)) || ! command -v wine >/dev/null || ! command -v Xvfb >/dev/null; then
  echo
  if ((use_wine)); then echo "(Windows part skipped: wine or Xvfb is missing.)"; fi
  exit 0
fi

step "Windows: MRManualPatch.exe carrying the same package, under Wine"
cmake --preset mingw-release >/dev/null
cmake --build --preset mingw-release -j"$(nproc)" >/dev/null
winbin="$root/build/mingw-release"
program=$(find "$winbin" -name MRManualPatch.exe | head -n1)
mrpatch_exe=$(find "$winbin" -name mrpatch.exe | head -n1)
[[ -n "$program" && -n "$mrpatch_exe" ]] || { echo "MRManualPatch.exe or mrpatch.exe not built" >&2; exit 1; }

export WINEPREFIX="$work/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wineboot --init >/dev/null 2>&1 || true
wine "$mrpatch_exe" embed --program "$(winepath -w "$program")" \
  --package "$(winepath -w "$work/patch.pkgdata")" -o "$(winepath -w "$work/MRManualPatch.exe")"

cp -r "$work/client/old" "$work/install-win"
# The client's installer is a 32-bit program: its value lives in the 32-bit view.
folder=$(winepath -w "$work/install-win")
wine reg add 'HKLM\SOFTWARE\KELDA\Moonrail' /v Destination /t REG_SZ /d "$folder\\" /f /reg:32 >/dev/null 2>&1

display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 800x600x24 >/dev/null 2>&1 &
xvfb=$!
trap 'wineserver -k 2>/dev/null || true; kill $xvfb 2>/dev/null || true; if ((keep)); then echo "work folder kept: $work"; else rm -rf "$work"; fi' EXIT
export DISPLAY=$display
sleep 1
wine "$work/MRManualPatch.exe" >"$work/wine-trace.txt" 2>&1 &
patcher=$!

# The result box is captioned "MRPatch"; wait for it, photograph the screen, close it.
box=""
for _ in $(seq 1 240); do
  box=$(xdotool search --name '^MRPatch$' 2>/dev/null | head -n1 || true)
  [[ -n "$box" ]] && break
  if xdotool search --name '^Browse for Folder$' >/dev/null 2>&1; then
    echo "the patcher asks for the install folder: it did not find the registry value" >&2
    exit 1
  fi
  sleep 0.5
done
[[ -n "$box" ]] || { echo "the patcher showed no result within two minutes" >&2; exit 1; }
sleep 1
shot="$root/build/demo-MRManualPatch.png"
import -window root "$shot"
echo "  screenshot of the finished run: $shot"
xdotool key --window "$box" Return >/dev/null 2>&1 || true
for _ in $(seq 1 40); do
  kill -0 "$patcher" 2>/dev/null || break
  sleep 0.5
done
wait "$patcher" || true

if same_tree "$work/install-win" "$work/client/new"; then
  echo "MRManualPatch.exe patched its copy of the old client to the new one, byte for byte."
else
  echo "MRManualPatch.exe left a client that differs from the new one." >&2
  exit 1
fi
