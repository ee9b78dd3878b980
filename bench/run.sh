#!/usr/bin/env bash
# The capture benchmark: builds, starts a private 1920x1080 Xvfb and Wine prefix,
# puts a picture on the screen and writes the table into bench/README.md.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=scripts/wine-env.sh
source "$root/scripts/wine-env.sh"
wine_env_choose
echo "Timing $(wine_env_describe): $SNAPVIK_WINE_WHY" >&2
bash "$root/scripts/setup.sh"
bash "$root/scripts/build-win.sh"
trap wine_env_stop EXIT
wine_env_start "$root/build/wine$SNAPVIK_WINE_ARCH" 1920x1080x24
work="$root/build/bench"
mkdir -p "$work"
(cd "$root/tests/e2e" && E2E_WORK="$work" SNAPVIK_EXE= WINPROBE_EXE= python3 -c \
  "from harness import paint_screen; paint_screen(1920, 1080, '$work/pattern.png')")
# Screenshots go to memory where it can, so that the disk's write-back does not blur the medians;
# the floors are measured in the same folder.
shots="$work/shots"
if [ -d /dev/shm ] && [ -w /dev/shm ]; then shots="/dev/shm/snapvik-bench-$$"; fi
mkdir -p "$shots"
# BENCH_ONLY=capture or BENCH_ONLY=tree runs one of the two.
if [ "${BENCH_ONLY:-capture}" = capture ]; then
  if wine_env_kernel_runs_32bit; then machine="it runs 32-bit code"; else machine="it refuses 32-bit code"; fi
  python3 "$root/bench/capture_report.py" "$SNAPVIK_WIN_BUILD/capture_bench.exe" "$shots" "$(wine_env_describe)" \
    "$machine (the program timed: $SNAPVIK_WINE_WHY)"
fi
[ "$shots" = "$work/shots" ] || rm -rf "$shots"

# The folder tree: expanding folders of thousands of subfolders (minutes under Wine).
if [ "${BENCH_ONLY:-tree}" = tree ]; then
  tree_work="$work/tree"
  rm -rf "$tree_work"
  python3 "$root/bench/tree_report.py" "$SNAPVIK_WIN_BUILD/tree_bench.exe" "$tree_work" "$(wine_env_describe)"
  rm -rf "$tree_work"
fi
