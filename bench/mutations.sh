#!/usr/bin/env bash
# On demand: the sample messages mutated by the thousand (BALEPORT_MUTATIONS per kind, 1,000
# unless set) and converted with --delete-source; every message arrives whole or stays as a
# source and is logged. `make test` runs the same proof with 24 per kind.
set -uo pipefail
cd "$(dirname "$0")/.."
BUILD=${BUILD:-build}
cmake --build "$BUILD" --target proof_mutation_tests baleport -j 2 > /dev/null || exit 1
log=$(mktemp)
seed=${BALEPORT_PROOF_SEED:-$RANDOM}
BALEPORT_MUTATIONS=${BALEPORT_MUTATIONS:-1000} BALEPORT_PROOF_SEED=$seed "$BUILD/bin/proof_mutation_tests" > "$log" 2>&1
status=$?
grep -E '^proof:' "$log"
[ "$status" -eq 0 ] || { grep -v '^\[ ' "$log" >&2; echo "mutation proof failed with BALEPORT_PROOF_SEED=$seed" >&2; }
rm -f "$log"
exit "$status"
