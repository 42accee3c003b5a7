#!/bin/sh
# planted_links.sh <wine> <test exe>: runs the link case of tst_Cl_File_System
# on a folder holding links to a folder, an empty folder and a file outside it,
# then checks that every target is still there.
set -u
wine=$1; exe=$2
root=$(mktemp -d /tmp/morvane-links.XXXXXX)
trap 'rm -rf "$root"' EXIT
mkdir -p "$root/outside/sub" "$root/outside_empty" "$root/scratch/sub"
echo keep >"$root/outside/keep.txt"
echo keep >"$root/outside/sub/f.txt"
echo zeros >"$root/scratch/plain.TMP0"
echo zeros >"$root/scratch/sub/plain.TMP1"
ln -s "$root/outside" "$root/scratch/dir_link"
ln -s "$root/outside_empty" "$root/scratch/sub/empty_dir_link"
ln -s "$root/outside/sub/f.txt" "$root/scratch/file_link"
MORVANE_PLANTED_FOLDER="Z:$(echo "$root/scratch" | tr / '\\')" "$wine" "$exe" \
  --gtest_filter='*NeverDeletesThroughLinks*'
rc=$?
for f in outside/keep.txt outside/sub/f.txt outside_empty; do
  [ -e "$root/$f" ] || { echo "link target $f was deleted"; rc=1; }
done
[ "$(cat "$root/outside/sub/f.txt")" = keep ] || { echo "link target f.txt was changed"; rc=1; }
exit $rc
