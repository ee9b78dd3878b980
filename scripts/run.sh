#!/usr/bin/env bash
# Installs what is missing, builds Snapvik.exe and runs it under Wine: the
# 32-bit program, or the 64-bit one where this machine cannot run 32-bit code.
# With an X display it opens the real window there; without one it runs a
# short session on a private Xvfb display, says what it did and saves a PNG.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"
# shellcheck source=scripts/wine-env.sh
source "$root/scripts/wine-env.sh"
wine_env_choose
if [ "$SNAPVIK_WINE_ARCH" = 64 ]; then
  echo "Running $(wine_env_describe): $SNAPVIK_WINE_WHY." >&2
fi
bash "$root/scripts/setup.sh"
# The program, its key grabber and the helper that drives it; the tests are built by the test command.
SNAPVIK_TARGETS="Snapvik winprobe" bash "$root/scripts/build-win.sh"
bash "$root/scripts/build-keygrab.sh"

if [ -n "${DISPLAY:-}" ] && xset q >/dev/null 2>&1; then
  # The program keeps its opt.dat beside it, so it runs from a folder of its own.
  run="$build/run$SNAPVIK_WINE_ARCH"
  mkdir -p "$run"
  cp "$SNAPVIK_WIN_BUILD/Snapvik.exe" "$SNAPVIK_WIN_BUILD/snapvik-keygrab" "$run/"
  wine_env_use "$SNAPVIK_WINE_ARCH" "$build/wine-run$SNAPVIK_WINE_ARCH"
  cd "$run"
  exec wine Snapvik.exe "$@"
fi

trap wine_env_stop EXIT
wine_env_start "$build/wine-demo$SNAPVIK_WINE_ARCH"
export SNAPVIK_EXE="$SNAPVIK_WIN_BUILD/Snapvik.exe" WINPROBE_EXE="$SNAPVIK_WIN_BUILD/tools/winprobe.exe" \
  SNAPVIK_KEYGRAB="$SNAPVIK_WIN_BUILD/snapvik-keygrab" SNAPVIK_WORK="$build/demo"
if ! python3 "$root/scripts/demo.py" "$build/demo"; then
  echo "FAILED: the headless session (scripts/demo.py; its files in build/demo, Wine's set-up in" \
    "build/wine-demo$SNAPVIK_WINE_ARCH/logs)" >&2
  exit 1
fi
