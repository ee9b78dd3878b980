#!/usr/bin/env bash
# Configures and builds one CMake tree quietly: every warning is shown; when
# something fails, its errors, the end of the log and where the whole log is.
#   build-tree.sh DIR [CMAKE ARGS...]
# SNAPVIK_TARGETS="A B" builds those targets only (the default: all).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=scripts/steps.sh
source "$root/scripts/steps.sh"
dir="$1"; shift
log="$dir.log"
mkdir -p "$dir"
targets=()
for t in ${SNAPVIK_TARGETS:-}; do targets+=(--target "$t"); done
configure_and_build() { cmake -S "$root" -B "$dir" "$@" && cmake --build "$dir" -j"$(nproc)" "${targets[@]}"; }
status=0
configure_and_build "$@" >"$log" 2>&1 </dev/null || status=$?
if [ "$status" -ne 0 ]; then
  # With two jobs the compiler's error can be far above the log's end.
  grep -E -m 20 '(error|Error)[: ]' "$log" >&2 || true
  step_failed "$log" "building ${dir#"$root"/} (cmake $*)" "$status"
  exit "$status"
fi
grep -E 'warning:' "$log" || true
