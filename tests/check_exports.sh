#!/bin/sh
# The shared library must export card_trans and no other symbol of ours.
set -eu
lib="$1"
symbols=$(nm -D --defined-only "$lib" | awk '{print $3}' | grep -v '^$' | sort)
if [ "$symbols" != "card_trans" ]; then
  echo "unexpected exports of $lib:"
  echo "$symbols"
  exit 1
fi
echo "exports: $symbols"
