#!/usr/bin/env bash
# The message file search (`baleport find`) over 100,000 files in 1,000 folders, beside
# `find DIR -iname '*.msg'` on the same tree. Goal: at most 3x find's time, although the
# search enumerates each folder twice and takes each entry's attributes from one stat.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
baleport=${BALEPORT:-$here/../build/bin/baleport}
runs=${RUNS:-5}
if [ ! -x "$baleport" ]; then
  echo "find_files.sh: no program at $baleport (run make build first)" >&2
  exit 1
fi

tree=$(mktemp -d "${TMPDIR:-/tmp}/baleport-bench-find.XXXXXX")
trap 'rm -rf "$tree"' EXIT
# 10 folders of 99 subfolders each: 1,000 folders, 100 files in every one.
for top in $(seq -w 0 9); do
  for sub in $(seq -w 0 99); do
    if [ "$sub" = 00 ]; then dir="$tree/top$top"; else dir="$tree/top$top/sub$sub"; fi
    mkdir -p "$dir"
    (cd "$dir" && touch $(printf 'message%02d.msg ' $(seq 0 89)) $(printf 'MESSAGE%02d.MSG ' $(seq 90 99)))
  done
done
folders=$(find "$tree" -mindepth 1 -type d | wc -l)
files=$(find "$tree" -type f | wc -l)

# The best of several runs, in microseconds, each after the tree is in the cache.
best() {
  local best_us="" start end
  "$@" >/dev/null
  for _ in $(seq "$runs"); do
    start=$(date +%s%N)
    "$@" >/dev/null
    end=$(date +%s%N)
    local us=$(((end - start) / 1000))
    if [ -z "$best_us" ] || [ "$us" -lt "$best_us" ]; then best_us=$us; fi
  done
  echo "$best_us"
}
seconds() { printf '%d.%03d' $(($1 / 1000000)) $((($1 / 1000) % 1000)); }

found_by_find=$(find "$tree" -iname '*.msg' | wc -l)
found_by_baleport=$("$baleport" find "$tree" | tail -n 1 | cut -d' ' -f1)
if [ "$found_by_find" != "$found_by_baleport" ]; then
  echo "find_files.sh: find saw $found_by_find message files, baleport find $found_by_baleport" >&2
  exit 1
fi

times() { local r=$(($1 * 100 / $2)); echo "$((r / 100)).$(printf '%02d' $((r % 100)))x"; }
find_us=$(best find "$tree" -iname '*.msg')
# find with one stat per file: the least that attribute words (read-only) cost.
find_stat_us=$(best find "$tree" -iname '*.msg' -printf '%m %p\n')
baleport_us=$(best "$baleport" find "$tree")
echo "find_files: $files files in $folders folders, best of $runs runs"
echo "  find DIR -iname '*.msg'                  $(seconds "$find_us") s"
echo "  find DIR -iname '*.msg' -printf '%m %p'  $(seconds "$find_stat_us") s  ($(times "$find_stat_us" "$find_us") find)"
echo "  baleport find DIR                        $(seconds "$baleport_us") s  ($(times "$baleport_us" "$find_us") find; goal at most 3x)"
[ "$baleport_us" -le $((3 * find_us)) ] || { echo "find_files.sh: more than 3x find" >&2; exit 1; }
