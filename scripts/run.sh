#!/usr/bin/env bash
# Installs what is missing, builds Snapvik.exe and runs it under Wine.
# With an X display it opens the real window there; without one it runs a
# short session on a private Xvfb display, says what it did and saves a PNG.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"
bash "$root/scripts/setup.sh"
bash "$root/scripts/build-win.sh"
# shellcheck source=scripts/wine-env.sh
source "$root/scripts/wine-env.sh"

if [ -n "${DISPLAY:-}" ] && xset q >/dev/null 2>&1; then
  # The program keeps its opt.dat beside it, so it runs from a folder of its own.
  mkdir -p "$build/run"
  cp "$build/win/Snapvik.exe" "$build/run/"
  export WINEPREFIX="$build/wine-run/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  wine_env_prefix
  cd "$build/run"
  exec wine Snapvik.exe "$@"
fi

trap wine_env_stop EXIT
wine_env_start "$build/wine-demo"
export SNAPVIK_EXE="$build/win/Snapvik.exe" WINPROBE_EXE="$build/win/tests/e2e/winprobe.exe" \
  E2E_WORK="$build/demo"
python3 "$root/scripts/demo.py" "$build/demo"
