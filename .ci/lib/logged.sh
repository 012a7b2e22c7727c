# Sourced by the CI steps that keep a command's output out of their own log.
#
# logged LOG COMMAND...: runs COMMAND with standard output and standard error
# in LOG. When it fails, the failing command and the tail of LOG go to
# standard error, so a quiet step never fails without saying why; the
# command's status is returned.
logged() {
  local log=$1 status=0
  shift
  mkdir -p "$(dirname "$log")"
  "$@" >"$log" 2>&1 || status=$?
  if [ "$status" -ne 0 ]; then
    {
      echo "FAILED (status $status): $*"
      echo "--- last 40 lines of $log:"
      tail -n 40 "$log"
      echo "---"
    } >&2
  fi
  return "$status"
}
