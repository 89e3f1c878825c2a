#!/usr/bin/env bash
# On demand: `baleport convert` killed at many random instants (BALEPORT_PROOF_KILLS, 120 unless
# set), into new and existing stores, with and without --delete-source; prints kills survived
# and messages lost. `make test` runs the same proof with 30 kills.
set -uo pipefail
cd "$(dirname "$0")/.."
BUILD=${BUILD:-build}
cmake --build "$BUILD" --target proof_crash_tests baleport -j 2 > /dev/null || exit 1
log=$(mktemp)
BALEPORT_PROOF_KILLS=${BALEPORT_PROOF_KILLS:-120} BALEPORT_PROOF_SEED=${BALEPORT_PROOF_SEED:-$RANDOM} \
  "$BUILD/bin/proof_crash_tests" > "$log" 2>&1
status=$?
grep -E '^proof:' "$log"
[ "$status" -eq 0 ] || { grep -v '^\[ ' "$log" >&2; echo "crash proof failed; seed above" >&2; }
rm -f "$log"
exit "$status"
