#!/usr/bin/env bash
# The .msg reader over a generated mailbox of about 1 GB: checks the rate (at least
# 500 MB/s) and that memory stays flat. The mailbox is made once per seed.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${BUILD:-build}
MESSAGES=${BENCH_MESSAGES:-2000}
SEED=${BENCH_SEED:-1}
MIN_RATE=${BENCH_MIN_MB_PER_S:-500}
MAX_RSS=${BENCH_MAX_RSS_MB:-64}
mailbox="$BUILD/bench-mailbox-$SEED-$MESSAGES"
if [ ! -d "$mailbox" ]; then
  "$BUILD/bin/baleport-mailbox" "$mailbox.tmp" --messages "$MESSAGES" --seed "$SEED"
  mv "$mailbox.tmp" "$mailbox"
fi
"$BUILD/bin/baleport-msg-read" "$mailbox" > /dev/null  # warm the page cache: the disk is not under test
line=$("$BUILD/bin/baleport-msg-read" "$mailbox" | tail -1)
echo "msg reader: $line"
rate=$(sed -E 's/.*: ([0-9]+) MB\/s.*/\1/' <<<"$line")
rss=$(sed -E 's/.*peak RSS ([0-9]+) MB.*/\1/' <<<"$line")
[ "$rate" -ge "$MIN_RATE" ] || { echo "bench: the reader ran at $rate MB/s, below $MIN_RATE" >&2; exit 1; }
[ "$rss" -le "$MAX_RSS" ] || { echo "bench: the reader peaked at $rss MB, above $MAX_RSS" >&2; exit 1; }
