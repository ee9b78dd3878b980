#!/usr/bin/env bash
# Installs what is missing, builds the Linux target and both Windows programs
# and runs every test, under the Wine that this machine can run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"
# shellcheck source=scripts/wine-env.sh
source "$root/scripts/wine-env.sh"
wine_env_choose
echo "== Testing $(wine_env_describe): $SNAPVIK_WINE_WHY"
if [ "$(id -u)" -ne 0 ]; then
  echo "== Not root: the tests that mount a small disk or make a folder immutable are skipped"
fi
bash "$root/scripts/setup.sh"

bash "$root/scripts/build-tree.sh" "$build/native" -DCMAKE_BUILD_TYPE=Debug
bash "$root/scripts/build-win.sh"

echo "== Linux: plain logic"
(cd "$build/native" && ctest --output-on-failure)

trap wine_env_stop EXIT
wine_env_start "$build/wine$SNAPVIK_WINE_ARCH"
echo "== Windows, $(wine_env_describe), under Wine on Xvfb $DISPLAY"
(cd "$SNAPVIK_WIN_BUILD" && ctest --output-on-failure)
if [ "$SNAPVIK_WINE_ARCH" = 32 ]; then
  # The prefix made beside wine64 runs 64-bit programs as well.
  echo "== Windows, the 64-bit build's platform tests"
  (cd "$build/win64" && ctest --output-on-failure -L platform)
fi
