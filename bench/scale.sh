#!/usr/bin/env bash
# `baleport convert` at scale: SCALE_MESSAGES (250,000) messages in one folder, a store past
# 4 GiB, SCALE_FOLDERS (10,000) folders. Per-item cost must stay flat (the large run's time
# per item at most 1.5 times that of a run a tenth its size) and memory bounded (peak RSS
# under SCALE_MAX_RSS_MB, 256). The messages are links to a few generated files, so the
# mailbox costs no disk space; the stores do (about 5 GB at most, removed afterwards).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${BUILD:-build}
MESSAGES=${SCALE_MESSAGES:-250000}
FOLDERS=${SCALE_FOLDERS:-10000}
BIG_BYTES=${SCALE_BIG_BYTES:-4400000000}
MAX_RSS=${SCALE_MAX_RSS_MB:-256}
work=$(mktemp -d "${TMPDIR:-/tmp}/baleport-scale.XXXXXX")
trap 'rm -rf "$work"' EXIT
bin="$BUILD/bin"

"$bin/baleport-mailbox" "$work/generated" --messages 40 --seed 7 --max-attachment 8000000 --max-body 2000 > /dev/null
small=$(find "$work/generated" -name '*.msg' -size -8k | head -1)
big=$(find "$work/generated" -name '*.msg' -printf '%s %p\n' | sort -n | tail -1 | cut -d' ' -f2-)

# links NAME COUNT FILE: COUNT links to FILE in $work/NAME, one folder.
# A file takes at most 65,000 links (ext4), so they go to copies of FILE, 50,000 each.
links() {
  /usr/bin/python3 -c 'import os, shutil, sys
folder, count, file = sys.argv[1], int(sys.argv[2]), sys.argv[3]
os.makedirs(folder)
copies = []
for i in range(count):
    if i % 50000 == 0:
        copies.append("%s.copy%d" % (folder, len(copies)))
        shutil.copyfile(file, copies[-1])
    os.link(copies[-1], "%s/m%d.msg" % (folder, i))' "$work/$1" "$2" "$3"
}
# convert NAME: converts $work/NAME into $work/NAME.pst; prints "seconds peak-RSS-MB".
convert() {
  /usr/bin/time -f '%e %M' -o "$work/time" "$bin/baleport" convert --quiet "$work/$1" -o "$work/$1.pst"
  "$bin/baleport" check "$work/$1.pst" > /dev/null
  read -r seconds kb < "$work/time"
  echo "$seconds $((kb / 1024))"
}
fail=0
check_rss() {
  if [ "$2" -gt "$MAX_RSS" ]; then echo "scale: $1 peaked at $2 MB, above $MAX_RSS" >&2; fail=1; fi
}

links tenth $((MESSAGES / 10)) "$small"
links all "$MESSAGES" "$small"
read -r t1 r1 <<<"$(convert tenth)"
read -r t2 r2 <<<"$(convert all)"
rm -f "$work/tenth.pst" "$work/all.pst"
ratio=$(awk -v a="$t1" -v b="$t2" -v n="$MESSAGES" 'BEGIN { printf "%.2f", (b / n) / (a / (n / 10)) }')
echo "scale: $MESSAGES messages in one folder: ${t2} s ($(awk -v t="$t2" -v n="$MESSAGES" 'BEGIN { printf "%d", n / t }')/s), peak ${r2} MB; per item vs a tenth: ${ratio}"
check_rss "$MESSAGES messages" "$r2"
awk -v r="$ratio" 'BEGIN { exit !(r <= 1.5) }' || { echo "scale: per-item cost grew ${ratio}x" >&2; fail=1; }

count=$(( (BIG_BYTES + $(stat -c %s "$big") - 1) / $(stat -c %s "$big") ))
links big "$count" "$big"
read -r t3 r3 <<<"$(convert big)"
size=$(stat -c %s "$work/big.pst")
echo "scale: $count messages of $(($(stat -c %s "$big") / 1024)) KB: store of $((size / 1048576)) MB in ${t3} s, peak ${r3} MB"
[ "$size" -gt 4294967296 ] || { echo "scale: the store stayed under 4 GiB" >&2; fail=1; }
check_rss "the large store" "$r3"
rm -f "$work/big.pst"

/usr/bin/python3 -c 'import os, sys
for i in range(int(sys.argv[2])):
    os.makedirs("%s/f%d" % (sys.argv[1], i)); os.link(sys.argv[3], "%s/f%d/m.msg" % (sys.argv[1], i))' "$work/folders" "$FOLDERS" "$small"
read -r t4 r4 <<<"$(convert folders)"
echo "scale: $FOLDERS folders of one message: ${t4} s, peak ${r4} MB"
check_rss "$FOLDERS folders" "$r4"
exit "$fail"
