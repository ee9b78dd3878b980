#!/usr/bin/env bash
# Runs one command in the setting of a test run (a private Xvfb, the Wine
# loader this machine runs, its prefix under build/), for single tests:
#   bash scripts/with-wine.sh ctest --test-dir build/win -R Framework
# SNAPVIK_WIN_BUILD names the build of the program this machine runs.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=scripts/wine-env.sh
source "$root/scripts/wine-env.sh"
wine_env_choose
echo "Under Wine, for $(wine_env_describe)" >&2
trap wine_env_stop EXIT
wine_env_start "$root/build/wine$SNAPVIK_WINE_ARCH"
"$@"
