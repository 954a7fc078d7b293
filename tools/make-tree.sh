#!/bin/bash
# Makes the folder tree DIR/a/b/c for a, b and c from 1 to WIDTH, with two
# small text files in each deepest folder, for walks that must still be
# running when a test stops them. DIR/complete marks a finished tree.
#   make-tree.sh DIR WIDTH
set -e
dir=$1
width=$2
rm -rf "$dir"
mkdir -p "$dir"
cd "$dir"
leaves=$(eval echo "{1..$width}/{1..$width}/{1..$width}")
mkdir -p $leaves
for leaf in $leaves; do
    echo "not a module" > "$leaf/one.txt"
    echo "not a module" > "$leaf/two.dll"
done
: > complete
