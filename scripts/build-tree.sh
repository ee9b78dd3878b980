#!/usr/bin/env bash
# Configures and builds one CMake tree quietly: every warning is shown, and
# the whole log when something fails.
#   build-tree.sh DIR [CMAKE ARGS...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir="$1"; shift
log="$dir.log"
mkdir -p "$dir"
if ! { cmake -S "$root" -B "$dir" "$@" && cmake --build "$dir" -j"$(nproc)"; } >"$log" 2>&1; then
  cat "$log"
  exit 1
fi
grep -E 'warning:' "$log" || true
