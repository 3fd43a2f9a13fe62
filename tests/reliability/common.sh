# Shared by the reliability tests. Sourced; expects MRPATCH (the mrpatch binary) and
# WORK (a scratch folder the test owns).

SAMPLE_CLIENT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)/scripts/sample_client.py"

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# make_client DIR SEED ARCHIVE_SIZE: DIR/old, DIR/new and DIR/patch.pkgdata.
make_client() {
  local dir=$1 seed=$2 size=$3
  python3 "$SAMPLE_CLIENT" "$dir" --seed "$seed" --archives 4 --archive-size "$size" \
    >/dev/null || fail "cannot generate the sample client"
  "$MRPATCH" build --old "$dir/old" --new "$dir/new" -o "$dir/patch.pkgdata" --quiet \
    || fail "mrpatch build failed"
}

# check_old_or_new INSTALLED OLD NEW: every file that the old client has is still there
# and equals its old or its new version; a file only the new client has is absent or new.
# Prints nothing and returns 0 when all hold; otherwise names the first file that does not.
check_old_or_new() {
  local installed=$1 old=$2 new=$3 rel
  while IFS= read -r -d '' rel; do
    rel=${rel#./}
    if [[ -f "$old/$rel" ]]; then
      [[ -f "$installed/$rel" ]] || { echo "missing: $rel"; return 1; }
      cmp -s "$installed/$rel" "$old/$rel" && continue
      [[ -f "$new/$rel" ]] && cmp -s "$installed/$rel" "$new/$rel" && continue
      echo "neither old nor new: $rel"
      return 1
    elif [[ -f "$installed/$rel" ]]; then
      cmp -s "$installed/$rel" "$new/$rel" || { echo "added file is not new: $rel"; return 1; }
    fi
  done < <(cd "$old" && find . -type f -print0; cd "$new" && find . -type f -print0)
  return 0
}

# same_tree A B: the two folders hold the same files with the same bytes.
same_tree() {
  diff -r "$1" "$2" >/dev/null
}

# leftover_temporaries DIR: lists temporary files of the patcher left in DIR.
leftover_temporaries() {
  find "$1" -name '.temp_*' -print
}
