#!/usr/bin/env bash
# Runs `mrpatch apply` on a small tmpfs that fills up in the middle of the run, and on one
# too small from the start. Either way the run reports failed with a reason, every
# installed file is still its old or its new version, and no temporary file is left.
#
#   full_disk_test.sh MRPATCH
# Needs to mount a tmpfs: as root, or inside a user namespace where the system allows it.
set -euo pipefail
MRPATCH=$(realpath "$1")

if [[ "${MRPATCH_IN_NAMESPACE:-}" != 1 && $(id -u) -ne 0 ]]; then
  if unshare --user --map-root-user --mount true 2>/dev/null; then
    exec env MRPATCH_IN_NAMESPACE=1 unshare --user --map-root-user --mount bash "$0" "$@"
  fi
  echo "SKIP: cannot mount a tmpfs here (not root, no user namespaces)"
  exit 77
fi

WORK=$(mktemp -d /tmp/mrpatch-disk-XXXXXX)
cleanup() {
  umount "$WORK/mnt" 2>/dev/null || true
  rm -rf "$WORK"
}
trap cleanup EXIT
source "$(dirname "$0")/common.sh"

make_client "$WORK/c" 12 $((3 << 20))
old=$WORK/c/old new=$WORK/c/new pkg=$WORK/c/patch.pkgdata

# Sizes of the new files the first pass writes, in bytes and in 4 KiB pages.
read -r needed paged < <("$MRPATCH" inspect --json "$pkg" | python3 -c '
import json, sys
entries = json.load(sys.stdin)["entries"]
sizes = [e["newFileSize"] for e in entries]
print(sum(sizes), sum((s + 4095) // 4096 * 4096 for s in sizes))')

free_bytes() { python3 -c 'import os, sys; s = os.statvfs(sys.argv[1]); print(s.f_bavail * s.f_frsize)' "$1"; }

# run_case NAME FREE: a fresh tmpfs holding the old client, with FREE bytes left free.
run_case() {
  local name=$1 want=$2
  umount "$WORK/mnt" 2>/dev/null || true
  mkdir -p "$WORK/mnt"
  mount -t tmpfs -o size=256m tmpfs "$WORK/mnt"
  cp -a "$old" "$WORK/mnt/client"
  local have
  have=$(free_bytes "$WORK/mnt")
  fallocate -l $((have - want)) "$WORK/mnt/filler"
  have=$(free_bytes "$WORK/mnt")
  [[ $have -eq $want ]] || fail "$name: could not leave exactly $want bytes free ($have)"

  local rc=0
  "$MRPATCH" apply --package "$pkg" --install-dir "$WORK/mnt/client" --no >"$WORK/out.log" 2>&1 || rc=$?
  [[ $rc -eq 1 ]] || { cat "$WORK/out.log"; fail "$name: exit code $rc, expected 1 (failed)"; }
  grep -q " Patch is failed." "$WORK/out.log" || fail "$name: no failure reported"
  why=$(check_old_or_new "$WORK/mnt/client" "$old" "$new") || fail "$name: $why"
  [[ -z "$(leftover_temporaries "$WORK/mnt/client")" ]] \
    || fail "$name: temporary files left: $(leftover_temporaries "$WORK/mnt/client")"
  echo "$name: failed as it should; every file old or new; no temporary file left"
  echo "  reason: $(grep -m1 -E 'space|No space' "$WORK/out.log" || true)"
}

# Free space that covers the new bytes but not the whole pages the files occupy: the check
# passes and the disk fills up while the first pass writes.
page=4096
mid=$(((needed + page - 1) / page * page))
((mid < paged)) || fail "the sample's files happen to fill whole pages; pick another seed"
run_case "fills up in the middle" "$mid"
grep -q "No space left on device" "$WORK/out.log" || fail "the reason does not name the full disk"

# Too little from the start: refused before anything is written.
run_case "too small from the start" $((needed / 2 / page * page))
grep -q "Not enough free space" "$WORK/out.log" || fail "the free-space check did not speak"
same_tree "$WORK/mnt/client" "$old" || fail "the refused run changed files"
