# shellcheck shell=bash
# Sourced by the scripts: a step whose output goes to a log, and which says
# what failed and where that log is when it fails (under set -e a bare
# failure would end the script without a word).
#   step LOG WHAT COMMAND [ARGS...]   runs COMMAND, its output in LOG; on failure
#                                     prints WHAT, the exit status, LOG and its last lines
#   step_failed LOG WHAT STATUS       the same message, for a step run otherwise

step() {
  local log="$1" what="$2" status=0
  shift 2
  mkdir -p "$(dirname "$log")"
  "$@" >"$log" 2>&1 </dev/null || status=$?
  if [ "$status" -ne 0 ]; then
    step_failed "$log" "$what" "$status"
    return "$status"
  fi
}

step_failed() {
  local log="$1" what="$2" status="$3"
  {
    echo "FAILED (exit status $status): $what"
    echo "  Its whole output: $log; the last lines:"
    tail -n 15 "$log" 2>/dev/null | sed 's/^/  | /'
  } >&2
}
