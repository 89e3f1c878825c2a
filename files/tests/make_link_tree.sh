#!/bin/sh
# Makes the folder-link tree of the search's loop test on the host, for the Windows test
# run under Wine, which cannot make links itself: R/A/loop leads back to R, R/out to Outside.
set -eu
root=$1
rm -rf "$root"
mkdir -p "$root/R/A" "$root/Outside"
: >"$root/R/A/a.msg"
: >"$root/Outside/o.msg"
ln -s "$root/R" "$root/R/A/loop"
ln -s "$root/Outside" "$root/R/out"
