#!/usr/bin/env bash
# Kills `mrpatch apply` with SIGKILL at random moments spread over a whole run (the first
# pass and the replacement pass) and checks, after every kill, that each installed file is
# its old or its new version and none is missing; then that a re-run without questions
# completes and leaves exactly the new client.
#
#   kill_test.sh MRPATCH [TRIALS] [SEED]
set -euo pipefail
MRPATCH=$(realpath "$1")
TRIALS=${2:-50}
SEED=${3:-20261210}
WORK=$(mktemp -d /tmp/mrpatch-kill-XXXXXX)
trap 'rm -rf "$WORK"' EXIT
source "$(dirname "$0")/common.sh"

make_client "$WORK/c" 11 $((24 << 20))
old=$WORK/c/old new=$WORK/c/new pkg=$WORK/c/patch.pkgdata

# How long an uninterrupted run takes, in microseconds.
rm -rf "$WORK/t" && cp -a "$old" "$WORK/t"
start=$(date +%s%N)
"$MRPATCH" apply --package "$pkg" --install-dir "$WORK/t" --no --quiet >/dev/null \
  || fail "an uninterrupted run failed"
duration=$((($(date +%s%N) - start) / 1000))
same_tree "$WORK/t" "$new" || fail "an uninterrupted run did not give the new client"
echo "an uninterrupted run takes ${duration} us; killing at random points in 0..$((duration * 11 / 10)) us"

RANDOM=$SEED
violations=0 killed=0 finished=0
# Where the kills landed: before any file was replaced, between replacements, after all.
first_pass=0 replacing=0 replaced=0
changed=$(cd "$new" && for f in $(find . -type f); do cmp -s "$f" "$old/$f" 2>/dev/null || echo "$f"; done)
for ((trial = 1; trial <= TRIALS; trial++)); do
  rm -rf "$WORK/t" && cp -a "$old" "$WORK/t"
  delay=$(((RANDOM * 32768 + RANDOM) % (duration * 11 / 10 + 1)))
  "$MRPATCH" apply --package "$pkg" --install-dir "$WORK/t" --no --quiet >/dev/null 2>&1 &
  pid=$!
  sleep "$(awk -v us="$delay" 'BEGIN { printf "%.6f", us / 1000000 }')"
  if kill -KILL "$pid" 2>/dev/null; then killed=$((killed + 1)); else finished=$((finished + 1)); fi
  wait "$pid" 2>/dev/null || true

  if ! why=$(check_old_or_new "$WORK/t" "$old" "$new"); then
    echo "trial $trial (kill after ${delay} us): $why"
    violations=$((violations + 1))
    continue
  fi
  now_new=0 total=0
  for f in $changed; do
    total=$((total + 1))
    cmp -s "$WORK/t/$f" "$new/$f" 2>/dev/null && now_new=$((now_new + 1))
  done
  if ((now_new == 0)); then first_pass=$((first_pass + 1))
  elif ((now_new < total)); then replacing=$((replacing + 1))
  else replaced=$((replaced + 1)); fi

  if ! "$MRPATCH" apply --package "$pkg" --install-dir "$WORK/t" --no --quiet >"$WORK/rerun.log" 2>&1; then
    echo "trial $trial (kill after ${delay} us): the re-run failed:"
    tail -n 5 "$WORK/rerun.log"
    violations=$((violations + 1))
    continue
  fi
  if ! same_tree "$WORK/t" "$new"; then
    echo "trial $trial (kill after ${delay} us): after the re-run the folder is not the new client"
    diff -rq "$WORK/t" "$new" | head -n 5
    violations=$((violations + 1))
  fi
done
echo "$TRIALS trials ($killed killed mid-run, $finished already finished): $violations violations"
echo "kills landed with no file replaced yet: $first_pass; some replaced: $replacing; all replaced: $replaced"
((violations == 0))
