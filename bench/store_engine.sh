#!/usr/bin/env bash
# The store engine alone: 250,000 small items into one folder, without and with a commit
# every 1,000 items, then 20,000 items of about 50 KB, and as many of 100 KB (a 2 GB store):
# rate, per-item cost of the last tenth against the first, peak memory. Fails when one case
# misses its goal (see pst_bench).
set -uo pipefail
cd "$(dirname "$0")/.."
BUILD=${BUILD:-build}
dir=$(mktemp -d "${TMPDIR:-/tmp}/baleport-store-bench.XXXXXX")
trap 'rm -rf "$dir"' EXIT
failed=0
run() {
  sync  # the writeback of an earlier case's store would be charged to this one
  echo "-- pst_bench $*"
  "$BUILD/bin/pst_bench" "$dir" "$@" || failed=1
  rm -f "$dir"/*
}
run small
run small 250000 0 1000
run large
run large 20000 102400
exit $failed
