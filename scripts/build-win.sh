#!/usr/bin/env bash
# Builds both Windows programs from the same sources: build/win (32-bit, the
# one we ship) and build/win64 (64-bit), each with its tests and tools.
#   build-win.sh [CMAKE ARGS...]   (given to both, e.g. -DSNAPVIK_WERROR=ON)
# SNAPVIK_TARGETS="A B" builds those targets only (see build-tree.sh).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/build-tree.sh" "$root/build/win" \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" -DCMAKE_BUILD_TYPE=Release "$@"
bash "$root/scripts/build-tree.sh" "$root/build/win64" \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake" -DCMAKE_BUILD_TYPE=Release "$@"
