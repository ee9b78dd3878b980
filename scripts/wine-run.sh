#!/usr/bin/env bash
# CTest's emulator: runs a Windows program of a BITS-bit build under the test
# run's Wine (scripts/wine-env.sh chose it), prefix and display.
#   wine-run.sh BITS PROGRAM [ARGS...]
set -euo pipefail
bits="$1"; shift
: "${WINEPREFIX:?WINEPREFIX is not set: run the tests through scripts/test.sh}"
: "${DISPLAY:?DISPLAY is not set: run the tests through scripts/test.sh}"
if [ "$bits" = 32 ] && [ "${SNAPVIK_WINE_LOADED:-}" = 64 ]; then
  echo "a 32-bit program, but this test run uses Wine's 64-bit loader: test build/win64 instead" >&2
  exit 1
fi
export WINEDEBUG="${WINEDEBUG:--all}" WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
exec wine "$@"
