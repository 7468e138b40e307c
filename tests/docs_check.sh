#!/bin/sh
# The integrator's guide shows the example programs in full; each block marked
# "<!-- example: PATH -->" must be exactly the file that the package tests build and run.
set -eu
source_dir="$1"
guide="$source_dir/docs/integration.md"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
found=0
for path in $(sed -n 's/^<!-- example: \(.*\) -->$/\1/p' "$guide"); do
  found=$((found + 1))
  awk -v mark="<!-- example: $path -->" '
    $0 == mark { state = 1; next }
    state == 1 && /^```/ { state = 2; next }
    state == 2 && /^```$/ { exit }
    state == 2 { print }
  ' "$guide" >"$work/block"
  if ! diff -u "$source_dir/$path" "$work/block" >"$work/diff"; then
    echo "FAIL: the guide's copy of $path differs from the file:" >&2
    cat "$work/diff" >&2
    exit 1
  fi
done
[ "$found" -ge 2 ] || { echo "FAIL: the guide shows $found example files, expected the C and Python ones" >&2; exit 1; }
echo "the guide's $found examples are the tested files"
