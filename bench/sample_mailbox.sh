#!/usr/bin/env bash
# sample_mailbox.sh DIR FOLDERS [heavy]: a mailbox of the real messages in ../shared/samples/msg,
# every one copied into each of FOLDERS folders; with `heavy`, only those with the most
# recipients, attachments and embedded levels. Exits 3, saying so, when the samples are absent.
set -euo pipefail
cd "$(dirname "$0")/.."
samples=../shared/samples/msg
[ -d "$samples" ] || { echo "sample mailbox: $samples is absent; skipped" >&2; exit 3; }
dir=$1 folders=$2
files=("$samples"/*.msg)
if [ "${3:-}" = heavy ]; then
  files=()
  for name in "200 recipients" EmailWith2Attachments attachment attachment_msg_pdf msgInMsg \
              "S_MIME test message signed" example_sent_regular "chinese message un_garbled" \
              "embedded image" attachmentFiles; do
    files+=("$samples/$name.msg")
  done
fi
rm -rf "$dir.tmp"
for ((i = 0; i < folders; i++)); do
  mkdir -p "$dir.tmp/$(printf 'folder%04d' "$i")"
  cp "${files[@]}" "$dir.tmp/$(printf 'folder%04d' "$i")/"
done
chmod -R u+w "$dir.tmp"
mv "$dir.tmp" "$dir"
