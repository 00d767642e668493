#!/usr/bin/env bash
# compare_bits.sh REFERENCE OTHER... -- ARGUMENT...: runs the turn_bits driver of two builds with the
# same arguments (REFERENCE and OTHER are command lines, e.g. the native driver and the Windows one
# under Wine) and fails unless both agree to the bit. Each driver checks first that every kernel build
# its CPU runs gives the same forces. The "chosen" line names the kernel build and is compared only
# when SAME_CPU=1 (both runs on one CPU must choose alike); every other line must be equal.
set -u -o pipefail
ref=()
while [ $# -gt 0 ] && [ "$1" != "--" ]; do ref+=("$1"); shift; done
shift
other=()
while [ $# -gt 0 ] && [ "$1" != "--" ]; do other+=("$1"); shift; done
shift
work=$(mktemp -d /tmp/kelvra-bits.XXXXXX)
trap 'rm -rf "$work"' EXIT
"${ref[@]}" "$@" >"$work/reference" || { echo "FAIL: the reference driver failed (status $?)"; exit 1; }
# The other driver writes into a file, not a pipe: node's standard output on a pipe may refuse a write
# that finds the pipe full (EAGAIN), as turn_bits.js on threads did at 10,000 stars.
"${other[@]}" "$@" >"$work/other.out" || { echo "FAIL: the other driver failed"; exit 1; }
tr -d '\r' <"$work/other.out" >"$work/other"
grep '^chosen ' "$work/reference" "$work/other"
if [ "${SAME_CPU:-0}" = 1 ] && ! diff <(grep '^chosen ' "$work/reference") <(grep '^chosen ' "$work/other") >/dev/null; then
  echo "FAIL: the two builds choose different kernel builds on one CPU"
  exit 1
fi
lines=$(grep -vc '^chosen ' "$work/reference")
[ "$lines" -gt 2 ] || { echo "FAIL: the reference printed $lines lines"; exit 1; }
if ! diff <(grep -v '^chosen ' "$work/reference") <(grep -v '^chosen ' "$work/other") >"$work/diff"; then
  echo "FAIL: the builds differ; first differences:"
  head -n 12 "$work/diff"
  exit 1
fi
grep '^digest ' "$work/reference"
echo "PASS: $lines lines agree to the bit"
