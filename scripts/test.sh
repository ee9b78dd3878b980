#!/usr/bin/env bash
# Installs what is missing, builds the Linux target and both Windows programs
# and runs every test, under the Wine that this machine can run. A warning
# fails the build here (-Werror): the project promises none, and CI holds it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"
# shellcheck source=scripts/wine-env.sh
source "$root/scripts/wine-env.sh"
wine_env_choose
echo "== Testing $(wine_env_describe): $SNAPVIK_WINE_WHY"
bash "$root/scripts/setup.sh"

# Being root is not enough where a container withholds mounting or the immutable mark: try them, once.
SNAPVIK_ROOT_CANNOT=$(bash "$root/scripts/root-can.sh" "$SNAPVIK_WIN_BUILD/e2e-work") || true
export SNAPVIK_ROOT_CANNOT
if [ -n "$SNAPVIK_ROOT_CANNOT" ]; then
  echo "== The tests that mount a small disk or make a folder immutable are skipped: $SNAPVIK_ROOT_CANNOT"
fi

bash "$root/scripts/build-tree.sh" "$build/native" -DCMAKE_BUILD_TYPE=Debug -DSNAPVIK_WERROR=ON
bash "$root/scripts/build-win.sh" -DSNAPVIK_WERROR=ON
bash "$root/scripts/build-keygrab.sh" -DSNAPVIK_WERROR=ON

# CTest names the tests that failed; this adds where their whole output is, and
# lists what was skipped and why (CTest shows a passing test's output nowhere else).
run_ctest() {
  local tree="$1" status=0
  shift
  (cd "$tree" && ctest --output-on-failure "$@") || status=$?
  local log="$tree/Testing/Temporary/LastTest.log"
  local skipped="\.\.\. skipped ['\"]|\[  SKIPPED \] [^0-9]"
  if grep -q -E "$skipped" "$log" 2>/dev/null; then
    echo "== Skipped in ${tree#"$root"/}:"
    grep -E "$skipped" "$log" | sed 's/^/  /'
  fi
  if [ "$status" -ne 0 ]; then
    echo "FAILED (exit status $status): the tests in ${tree#"$root"/} (ctest $*); every test's output: $log" >&2
    exit "$status"
  fi
}

echo "== Linux: plain logic"
run_ctest "$build/native"

trap wine_env_stop EXIT
wine_env_start "$build/wine$SNAPVIK_WINE_ARCH"
echo "== Windows, $(wine_env_describe), under Wine on Xvfb $DISPLAY"
run_ctest "$SNAPVIK_WIN_BUILD"
if [ "$SNAPVIK_WINE_ARCH" = 32 ]; then
  # The prefix made beside wine64 runs 64-bit programs as well.
  echo "== Windows, the 64-bit build's platform tests"
  run_ctest "$build/win64" -L platform
fi
