#!/usr/bin/env bash
# The store engine alone: 20,000 items of about 50 KB into one folder, then 250,000 small
# items into one folder (rate, per-item cost of the last tenth against the first, peak memory).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${BUILD:-build}
dir=$(mktemp -d "${TMPDIR:-/tmp}/baleport-store-bench.XXXXXX")
trap 'rm -rf "$dir"' EXIT
"$BUILD/bin/pst_bench" "$dir" large
rm -f "$dir"/*
"$BUILD/bin/pst_bench" "$dir" small
