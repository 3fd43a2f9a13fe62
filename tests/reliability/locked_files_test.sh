#!/usr/bin/env bash
# A read-only installed file and an install folder without write permission: the run
# fails, the files stay as they were, no temporary file is left, and a trace line names
# the file.
#
#   locked_files_test.sh MRPATCH
set -euo pipefail
MRPATCH=$(realpath "$1")
WORK=$(mktemp -d /tmp/mrpatch-locked-XXXXXX)
trap 'chmod -R u+w "$WORK" 2>/dev/null; rm -rf "$WORK"' EXIT
chmod 755 "$WORK"
source "$(dirname "$0")/common.sh"

make_client "$WORK/c" 13 $((1 << 20))
old=$WORK/c/old new=$WORK/c/new pkg=$WORK/c/patch.pkgdata
chmod -R a+rX "$WORK/c"

# 1. One read-only archive: that file stays old, the others are patched.
cp -a "$old" "$WORK/ro"
victim=$(cd "$old" && ls *.pkg | head -n 1)
chmod 444 "$WORK/ro/$victim"
rc=0
"$MRPATCH" apply --package "$pkg" --install-dir "$WORK/ro" --no >"$WORK/ro.log" 2>&1 || rc=$?
[[ $rc -eq 1 ]] || { cat "$WORK/ro.log"; fail "read-only target: exit code $rc, expected 1"; }
cmp -s "$WORK/ro/$victim" "$old/$victim" || fail "read-only target: $victim changed"
grep -q "$victim.*read-only" "$WORK/ro.log" || { cat "$WORK/ro.log"; fail "no trace line names $victim"; }
why=$(check_old_or_new "$WORK/ro" "$old" "$new") || fail "read-only target: $why"
[[ -z "$(leftover_temporaries "$WORK/ro")" ]] || fail "read-only target: temporary files left"
echo "read-only target: failed, $victim kept, the others patched"

# 2. An install folder the user may not write to. Root writes anywhere, so as root the run
#    is made as an unprivileged user.
cp -a "$old" "$WORK/locked"
chmod -R a+rX "$WORK/locked"
chmod 555 "$WORK/locked"
as_user=()
program=$MRPATCH
if [[ $(id -u) -eq 0 ]]; then
  command -v setpriv >/dev/null || { echo "SKIP: setpriv is missing"; exit 77; }
  as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
  # The build folder may lie where that user cannot reach: run a copy from here.
  cp "$MRPATCH" "$WORK/mrpatch"
  chmod 755 "$WORK/mrpatch"
  program=$WORK/mrpatch
fi
rc=0
"${as_user[@]}" "$program" apply --package "$pkg" --install-dir "$WORK/locked" --no \
  >"$WORK/locked.log" 2>&1 || rc=$?
[[ $rc -eq 1 ]] || { cat "$WORK/locked.log"; fail "locked folder: exit code $rc, expected 1"; }
same_tree "$WORK/locked" "$old" || fail "locked folder: files changed"
grep -q "Permission denied" "$WORK/locked.log" || { cat "$WORK/locked.log"; fail "locked folder: no reason given"; }
echo "locked folder: failed, nothing changed"
