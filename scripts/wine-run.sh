#!/usr/bin/env bash
# Runs a Windows program under the test run's Wine prefix and display.
# scripts/test.sh sets these up; running ctest alone needs them exported.
set -euo pipefail
: "${WINEPREFIX:?WINEPREFIX is not set: run the tests through scripts/test.sh}"
: "${DISPLAY:?DISPLAY is not set: run the tests through scripts/test.sh}"
export WINEDEBUG="${WINEDEBUG:--all}" WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
exec wine "$@"
