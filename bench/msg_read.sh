#!/usr/bin/env bash
# The .msg reader over a generated mailbox of about 1 GB, then over the real sample messages
# copied into 170 folders (8,330 messages, about 530 MB): checks the rates (at least 500 and
# 400 MB/s) and that memory stays under 64 MB. Each mailbox is made once and kept in $BUILD.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${BUILD:-build}
MESSAGES=${BENCH_MESSAGES:-2000}
SEED=${BENCH_SEED:-1}
MIN_RATE=${BENCH_MIN_MB_PER_S:-500}
MIN_SAMPLE_RATE=${BENCH_MIN_SAMPLE_MB_PER_S:-400}
MAX_RSS=${BENCH_MAX_RSS_MB:-64}
fail=0

# measure LABEL DIR MIN_RATE: reads DIR twice (the first warms the page cache: the disk is
# not under test) and checks the second.
measure() {
  "$BUILD/bin/baleport-msg-read" "$2" > /dev/null
  local line rate rss
  line=$("$BUILD/bin/baleport-msg-read" "$2" | tail -1)
  echo "msg reader, $1: $line"
  rate=$(sed -E 's/.*: ([0-9]+) MB\/s.*/\1/' <<<"$line")
  rss=$(sed -E 's/.*peak RSS ([0-9]+) MB.*/\1/' <<<"$line")
  [ "$rate" -ge "$3" ] || { echo "bench: the reader ran at $rate MB/s on $1, below $3" >&2; fail=1; }
  [ "$rss" -le "$MAX_RSS" ] || { echo "bench: the reader peaked at $rss MB on $1, above $MAX_RSS" >&2; fail=1; }
}

mailbox="$BUILD/bench-mailbox-$SEED-$MESSAGES"
if [ ! -d "$mailbox" ]; then
  "$BUILD/bin/baleport-mailbox" "$mailbox.tmp" --messages "$MESSAGES" --seed "$SEED"
  mv "$mailbox.tmp" "$mailbox"
fi
measure "generated" "$mailbox" "$MIN_RATE"

samples="$BUILD/bench-samples-170"
if [ -d "$samples" ] || bench/sample-mailbox "$samples" 170; then
  measure "sample messages" "$samples" "$MIN_SAMPLE_RATE"
fi
exit "$fail"
