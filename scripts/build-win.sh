#!/usr/bin/env bash
# Builds the Windows targets into build/win (quietly; warnings and failures are shown).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir="$root/build/win"
mkdir -p "$dir"
log="$dir.log"
if ! { cmake -S "$root" -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" -DCMAKE_BUILD_TYPE=Release &&
       cmake --build "$dir" -j"$(nproc)" "$@"; } >"$log" 2>&1; then
  cat "$log"
  exit 1
fi
grep -E 'warning:' "$log" || true
