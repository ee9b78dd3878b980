#!/usr/bin/env bash
# Installs what is missing, builds the Linux and Windows targets and runs every test.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"
bash "$root/scripts/setup.sh"

# Builds quietly, but shows every warning and the whole log of a failure.
build_tree() {
  local dir="$1"; shift
  local log="$dir.log"
  mkdir -p "$dir"
  if ! { cmake -S "$root" -B "$dir" "$@" && cmake --build "$dir" -j"$(nproc)"; } >"$log" 2>&1; then
    cat "$log"
    return 1
  fi
  grep -E 'warning:' "$log" || true
}
build_tree "$build/native" -DCMAKE_BUILD_TYPE=Debug
build_tree "$build/win" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" -DCMAKE_BUILD_TYPE=Release

echo "== Linux: plain logic"
(cd "$build/native" && ctest --output-on-failure)

# shellcheck source=scripts/wine-env.sh
source "$root/scripts/wine-env.sh"
trap wine_env_stop EXIT
wine_env_start "$build/wine"
echo "== Windows, under Wine on Xvfb $DISPLAY"
(cd "$build/win" && ctest --output-on-failure)
