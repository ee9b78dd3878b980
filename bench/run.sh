#!/usr/bin/env bash
# The benchmarks: builds, starts a private 1920x1080 Xvfb and Wine prefix, puts a
# picture on the screen and prints each table.
#   bash bench/run.sh [--update-readme]   (the flag also writes the tables into bench/README.md)
# BENCH_ONLY=capture, BENCH_ONLY=keys or BENCH_ONLY=tree runs one of them.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
update=()
for arg in "$@"; do
  case "$arg" in
    --update-readme) update=(--update-readme) ;;
    *) echo "usage: bash bench/run.sh [--update-readme]" >&2; exit 2 ;;
  esac
done
# shellcheck source=scripts/wine-env.sh
source "$root/scripts/wine-env.sh"
wine_env_choose
echo "Timing $(wine_env_describe): $SNAPVIK_WINE_WHY" >&2
only="${BENCH_ONLY:-}"
case "$only" in
  "" | capture | keys | tree) ;;
  *) echo "BENCH_ONLY must be capture, keys or tree, not '$only'" >&2; exit 2 ;;
esac
runs() { [ -z "$only" ] || [ "$only" = "$1" ]; }
# The key-press benchmark's peers (the tools a Linux user binds to a key, and the binder) and its tracer.
peers=()
runs keys && peers=(scrot maim xbindkeys strace)
bash "$root/scripts/setup.sh" "${peers[@]}"
SNAPVIK_TARGETS="capture_bench tree_bench Snapvik winprobe" bash "$root/scripts/build-win.sh"
runs keys && bash "$root/scripts/build-keygrab.sh"
work="$root/build/bench"
# Screenshots go to memory where it can, so that the disk's write-back does not blur the medians;
# the floors are measured in the same folder.
shots="$work/shots"
if [ -d /dev/shm ] && [ -w /dev/shm ]; then shots="/dev/shm/snapvik-bench-$$"; fi
mkdir -p "$work" "$shots"
trap 'wine_env_stop; [ "$shots" = "$work/shots" ] || rm -rf "$shots"' EXIT
# A session of its own, so that a benchmark never stops a test run's Wine.
session="$root/build/wine-bench$SNAPVIK_WINE_ARCH"
wine_env_start "$session" 1920x1080x24
export PYTHONPATH="$root/tools"
python3 -c "from drive import paint_screen; paint_screen(1920, 1080, '$work/pattern.png')"

bench() {
  local what="$1"
  shift
  if ! python3 "$@" "${update[@]}"; then
    echo "FAILED: the $what benchmark (python3 $*); Wine's set-up logs: ${session#"$root"/}/logs" >&2
    return 1
  fi
}

probe=0
wine_env_kernel_runs_32bit || probe=$?
case "$probe" in
  0) machine="it runs 32-bit code" ;;
  1) machine="it refuses 32-bit code" ;;
  *) machine="whether it runs 32-bit code is unknown ($SNAPVIK_PROBE_WHY)" ;;
esac

if runs capture; then
  bench capture "$root/bench/capture_report.py" "$SNAPVIK_WIN_BUILD/capture_bench.exe" "$shots" \
    "$(wine_env_describe)" "$machine (the program timed: $SNAPVIK_WINE_WHY)"
fi

# Key press to finished file, and to the moment the file shows, against the tools a user binds.
if runs keys; then
  export SNAPVIK_EXE="$SNAPVIK_WIN_BUILD/Snapvik.exe" WINPROBE_EXE="$SNAPVIK_WIN_BUILD/tools/winprobe.exe" \
    SNAPVIK_KEYGRAB="$SNAPVIK_WIN_BUILD/snapvik-keygrab" SNAPVIK_WORK="$work/keys"
  bench keys "$root/bench/keys_report.py" "$shots" "$work/keys" "$(wine_env_describe)" \
    "$machine (the program timed: $SNAPVIK_WINE_WHY)"
fi

# The folder tree: expanding folders of thousands of subfolders (minutes under Wine).
if runs tree; then
  tree_work="$work/tree"
  rm -rf "$tree_work"
  bench tree "$root/bench/tree_report.py" "$SNAPVIK_WIN_BUILD/tree_bench.exe" "$tree_work" "$(wine_env_describe)"
  rm -rf "$tree_work"
  # The real program's picker, driven from outside, at 5,000 subfolders on the Desktop.
  SNAPVIK_EXE="$SNAPVIK_WIN_BUILD/Snapvik.exe" WINPROBE_EXE="$SNAPVIK_WIN_BUILD/tools/winprobe.exe" \
    SNAPVIK_WORK="$work/picker" python3 "$root/bench/picker_real.py" 5000 5000
fi
if [ ${#update[@]} -eq 0 ]; then
  echo "(bench/README.md is left as it is: bash bench/run.sh --update-readme writes these tables into it)" >&2
fi
