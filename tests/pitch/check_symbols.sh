#!/bin/sh
# Fails when the archive given as $1 refers to anything but its own symbols
# and a few C library functions (no C++ runtime, no exceptions, no iostream).
set -eu
archive=$1
allowed='^(malloc|free|memset|memcpy|memmove)$'
defined=$(nm -g --defined-only "$archive" | awk 'NF == 3 { print $3 }' | sort -u)
undefined=$(nm -u "$archive" | awk 'NF == 2 { print $2 }' | sort -u)
bad=0
for sym in $undefined; do
  if printf '%s\n' "$defined" | grep -qx "$sym"; then continue; fi
  if printf '%s\n' "$sym" | grep -Eq "$allowed"; then continue; fi
  echo "unexpected external symbol: $sym" >&2
  bad=1
done
[ -n "$defined" ] || { echo "no symbols found in $archive" >&2; exit 1; }
for api in dywapitch_neededsamplecount dywapitch_inittracking dywapitch_computepitch; do
  printf '%s\n' "$defined" | grep -qx "$api" || { echo "missing export: $api" >&2; bad=1; }
done
exit $bad
