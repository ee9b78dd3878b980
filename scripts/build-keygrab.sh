#!/usr/bin/env bash
# Builds the native key grabber (keygrab/), the hot key's X side under Wine,
# without the test build's sanitizers, and puts it beside Snapvik.exe in both
# Windows build folders, where the program looks for it.
#   build-keygrab.sh [CMAKE ARGS...]   (e.g. -DSNAPVIK_WERROR=ON)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
SNAPVIK_TARGETS=snapvik-keygrab bash "$root/scripts/build-tree.sh" "$root/build/keygrab" \
  -DCMAKE_BUILD_TYPE=Release -DSNAPVIK_SANITIZE=OFF "$@"
for dir in "$root/build/win" "$root/build/win64"; do
  mkdir -p "$dir"
  cp "$root/build/keygrab/keygrab/snapvik-keygrab" "$dir/"
done
