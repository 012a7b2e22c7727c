# Sourced by the CI steps that keep a command's output out of their own log.
#
# logged LOG COMMAND...: runs COMMAND with standard output and standard error
# in LOG. When it fails, the failing command and the tail of LOG go to
# standard error, so a quiet step never fails without saying why; the
# command's status is returned.
#
# not_run CHECK WHY: says that CHECK did not run on this machine and why, and
# keeps the line for the summary that ends .ci/run (not_run_summary), so a
# green run never hides what it skipped. The list lives in
# $PICALC_CI_STATE (default build-ci/ under the current directory).
#
# why_missing PACKAGE: why PACKAGE is not installed: apt's words when CI's
# installer (.ci/lib/install.sh) could not install it.
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

ci_state=${PICALC_CI_STATE:-$PWD/build-ci}

not_run() {
  mkdir -p "$ci_state"
  echo "NOT RUN: $1 ($2)"
  echo "$1 ($2)" >>"$ci_state/not-run"
}

# The lines of FILE (or standard input) on one line, "; " between them.
joined() {
  awk 'NR > 1 { printf "; " } { printf "%s", $0 } END { print "" }' "$@"
}

# One line: every check that was NOT RUN and why, or that none was; after a
# failure (STATUS not 0), what was NOT RUN until CI stopped.
not_run_summary() { # [STATUS]
  local until=""
  [ "${1:-0}" -eq 0 ] || until=" until CI stopped (status $1)"
  if [ -s "$ci_state/not-run" ]; then
    echo "NOT RUN ($(sort -u "$ci_state/not-run" | wc -l))$until: $(sort -u "$ci_state/not-run" | joined)"
  elif [ -n "$until" ]; then
    echo "NOT RUN: none$until"
  else
    echo "NOT RUN: none; every check ran"
  fi
}

why_missing() { # PACKAGE
  if [ -s "$ci_state/missing/$1" ]; then
    cat "$ci_state/missing/$1"
  else
    echo "Debian package $1 is not installed"
  fi
}
