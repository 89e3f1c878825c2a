#!/usr/bin/env bash
# `baleport convert --each ROOT -d OUT` over two equal folders, with -j 2 against -j 1
# (goal: at least 1.7 times faster with two stores written at once). Each is run twice,
# alternately, and the best time kept. The goal needs two idle cores: run it on a quiet machine.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${BUILD:-build}
MESSAGES=${JOBS_MESSAGES:-5000}
SEED=${BENCH_SEED:-1}
bin="$BUILD/bin"
work=$(mktemp -d "${TMPDIR:-/tmp}/baleport-jobs.XXXXXX")
trap 'rm -rf "$work"' EXIT

"$bin/baleport-mailbox" "$work/generated" --messages "$MESSAGES" --seed "$SEED" --max-attachment 20000 --small-tree > /dev/null
mkdir "$work/root"
cp -r "$work/generated" "$work/root/A"
cp -r "$work/generated" "$work/root/B"
rm -rf "$work/generated"

best1="" best2=""
# run J: converts both folders with -j J, checks both stores; prints the nanoseconds taken.
run() {
  rm -rf "$work/out"
  mkdir "$work/out"
  local start end
  start=$(date +%s%N)
  "$bin/baleport" convert --quiet --each "$work/root" -d "$work/out" -j "$1"
  sync
  end=$(date +%s%N)
  for store in A B; do "$bin/baleport" check "$work/out/$store.pst" > /dev/null; done
  echo $((end - start))
}
for _ in 1 2; do
  t=$(run 1); if [ -z "$best1" ] || [ "$t" -lt "$best1" ]; then best1=$t; fi
  t=$(run 2); if [ -z "$best2" ] || [ "$t" -lt "$best2" ]; then best2=$t; fi
done
awk -v a="$best1" -v b="$best2" -v n="$MESSAGES" 'BEGIN {
  printf "jobs: two folders of %d messages: -j 1 %.2f s, -j 2 %.2f s: %.2fx faster (goal at least 1.7x)\n", n, a / 1e9, b / 1e9, a / b
  exit (a < 1.7 * b) }'
