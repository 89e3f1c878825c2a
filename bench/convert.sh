#!/usr/bin/env bash
# `baleport convert` against `cp -r` of the same tree, side by side: a generated mailbox of
# CONVERT_MESSAGES (20,000) messages, about 1 GB (goal: at most 2 times cp -r, peak RSS under
# 256 MB), then as many small messages (goal: 5,000 or more a second). Then real mail:
# the sample messages copied into 170 folders (8,330 messages, about 530 MB), and those with
# the most recipients, attachments and embedded levels copied into 250 folders (2,500
# messages, about 510 MB), each also read by the reader alone; their ratios to cp -r and the
# second's cost per megabyte against the first's are reported (goals 1.0x and 1.3x) without
# failing the run, as the store engine's share is not the reader's. Both read a warm page
# cache (the mailbox was just written), and both times include the sync that puts their bytes
# on disk; each is run twice, alternately, and the best kept. The processor time (user + sys)
# of the conversion is given beside its real time: above 1x, two cores worked at once. With
# BEFORE=<another baleport>, that one converts each mailbox too, in the same rounds, for a
# side-by-side comparison of two builds.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${BUILD:-build}
MESSAGES=${CONVERT_MESSAGES:-20000}
MAX_RSS=${CONVERT_MAX_RSS_MB:-256}
bin="$BUILD/bin"
work=$(mktemp -d "${TMPDIR:-/tmp}/baleport-convert.XXXXXX")
trap 'rm -rf "$work"' EXIT

# timed KIND [BALEPORT]: runs one copy (cp) or conversion (convert, by $bin/baleport or
# BALEPORT) of $work/mailbox, then sync; prints "nanoseconds peak-RSS-in-MB cpu-seconds".
timed() {
  rm -rf "$work/copy" "$work/out.pst" "$work/out.log"
  sync
  local start end
  start=$(date +%s%N)
  if [ "$1" = cp ]; then
    /usr/bin/time -f '%M %U %S' -o "$work/rss" cp -r "$work/mailbox" "$work/copy"
  else
    /usr/bin/time -f '%M %U %S' -o "$work/rss" "${2:-$bin/baleport}" convert --quiet "$work/mailbox" -o "$work/out.pst"
  fi
  sync
  end=$(date +%s%N)
  echo "$((end - start)) $(tail -1 "$work/rss" | awk '{ printf "%d %.2f", $1 / 1024, $2 + $3 }')"
}

# convert_round BALEPORT BEST_VAR CPU_VAR: one conversion, keeping the best time (and its
# processor time) in the named variables and the peak RSS in $rss.
convert_round() {
  local t r c
  read -r t r c <<<"$(timed convert "$1")"
  if [ -z "${!2}" ] || [ "$t" -lt "${!2}" ]; then printf -v "$2" %s "$t"; printf -v "$3" %s "$c"; fi
  [ "$r" -gt "$rss" ] && rss=$r
  "$bin/baleport" check "$work/out.pst" > /dev/null
}

# compare LABEL: best of two runs each; prints the times and sets $ratio (x100), $rss, $best_convert.
compare() {
  local best_cp="" best_before="" cpu_before="" cpu="" t r c
  best_convert="" rss=0
  for _ in 1 2; do
    read -r t r c <<<"$(timed cp)"
    if [ -z "$best_cp" ] || [ "$t" -lt "$best_cp" ]; then best_cp=$t; fi
    convert_round "$bin/baleport" best_convert cpu
    [ -n "${BEFORE:-}" ] && convert_round "$BEFORE" best_before cpu_before
  done
  ratio=$((best_convert * 100 / best_cp))
  awk -v l="$1" -v c="$best_cp" -v b="$best_convert" -v u="$cpu" -v m="$rss" 'BEGIN {
    printf "convert: %s: cp -r %.2f s, baleport convert %.2f s (%.2fx), processor %.2f s (%.2fx real), peak %d MB\n",
      l, c / 1e9, b / 1e9, b / c, u, u / (b / 1e9), m }'
  [ -z "${BEFORE:-}" ] || awk -v c="$best_cp" -v b="$best_before" -v u="$cpu_before" 'BEGIN {
    printf "convert:   BEFORE: %.2f s (%.2fx), processor %.2f s (%.2fx real)\n", b / 1e9, b / c, u, u / (b / 1e9) }'
}

fail=0
"$bin/baleport-mailbox" "$work/mailbox" --messages "$MESSAGES" --seed 1 --max-attachment 100000 > /dev/null
compare "$MESSAGES messages, $(du -sm --apparent-size "$work/mailbox" | cut -f1) MB"
[ "$ratio" -le 200 ] || { echo "convert: more than 2x cp -r" >&2; fail=1; }
[ "$rss" -lt "$MAX_RSS" ] || { echo "convert: peak RSS $rss MB, not under $MAX_RSS" >&2; fail=1; }

rm -rf "$work/mailbox"
"$bin/baleport-mailbox" "$work/mailbox" --messages "$MESSAGES" --seed 2 --small-messages > /dev/null
compare "$MESSAGES messages of about $(($(du -sk --apparent-size "$work/mailbox" | cut -f1) / MESSAGES)) KB"
rate=$((MESSAGES * 1000000000 / best_convert))
echo "convert: $rate messages/s (goal at least 5,000)"
[ "$rate" -ge 5000 ] || { echo "convert: fewer than 5,000 small messages a second" >&2; fail=1; }
# real LABEL FOLDERS [heavy]: a mailbox of the samples; sets $per_mb (nanoseconds per MB converted).
real() {
  rm -rf "$work/mailbox"
  bench/sample-mailbox "$work/mailbox" "$2" ${3:-} || return 1
  local mb
  mb=$(du -sm --apparent-size "$work/mailbox" | cut -f1)
  compare "$1, $(find "$work/mailbox" -name '*.msg' | wc -l) messages, $mb MB"
  [ "$rss" -lt "$MAX_RSS" ] || { echo "convert: peak RSS $rss MB, not under $MAX_RSS" >&2; fail=1; }
  echo "convert: $1: the reader alone: $("$bin/baleport-msg-read" "$work/mailbox" | tail -1)"
  per_mb=$((best_convert / mb))
}
if real "sample messages" 170; then
  [ "$ratio" -le 100 ] || echo "convert: sample messages: goal 1.0x cp -r not met"
  first=$per_mb
  real "the heaviest samples" 250 heavy
  awk -v a="$per_mb" -v b="$first" 'BEGIN { printf "convert: the heaviest samples cost %.2fx the samples per megabyte (goal 1.3x)\n", a / b }'
fi
exit "$fail"
