#!/usr/bin/env bash
# e2e-wine.sh TEST WINE_DIR KELVRA_EXE STAND_IN: runs one end-to-end test of tests/e2e against the
# Windows build under Wine. STAND_IN (a copy of kelvra-wine in the build tree, where the test keeps
# its screenshots) is handed to the test as the program; the run gets a Wine prefix of its own, and
# so a wineserver of its own, which serves every start of the program in the test and ends with it.
set -u
test=$1
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d /tmp/kelvra-wine.XXXXXX)
export KELVRA_WINE_RUN=$here/wine-run KELVRA_WINE_DIR=$2 KELVRA_WINDOWS_EXE=$3 KELVRA_WINEPREFIX=$work/prefix
"$here/wine-run" "$KELVRA_WINE_DIR" --server bash "$test" "$4"
status=$?
rm -rf "$work"
exit $status
