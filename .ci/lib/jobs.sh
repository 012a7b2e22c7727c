# Sourced by the CI scripts that run jobs side by side. None of those jobs
# measures time, so sharing the cores changes no result.
#
# job_start NAME COMMAND...: starts COMMAND (a program or a shell function)
# in the background, its standard output and standard error in a log of
# its own. Its standard input is /dev/null, so no job waits on a terminal.
# Under set -e, a failing command in a function ends its job.
#
# jobs_wait: waits for every job started, in the order they were started.
# For each it prints "== NAME (passed, N s)" or "== NAME (FAILED with
# status S, N s)", then the job's whole log. Returns 1 when any job failed,
# after every job has ended and been reported. The next job_start begins a
# new set.
#
# jobs_stop: stops the jobs still running and the programs they started,
# for an EXIT trap.
job_dir=""
job_names=()
job_pids=()

job_start() { # NAME COMMAND...
  [ -n "$job_dir" ] || job_dir=$(mktemp -d)
  local index=${#job_names[@]} name=$1
  shift
  # Not "COMMAND || ...": that would switch off errexit inside a function.
  (
    start=$SECONDS
    trap 'echo "$((SECONDS - start))" >"$job_dir/$index.seconds"' EXIT
    "$@" </dev/null >"$job_dir/$index.log" 2>&1
  ) &
  job_pids+=("$!")
  job_names+=("$name")
}

jobs_wait() {
  local index status failed=0
  for index in "${!job_pids[@]}"; do
    status=0
    wait "${job_pids[$index]}" || status=$?
    if [ "$status" -eq 0 ]; then
      echo "== ${job_names[$index]} (passed, $(cat "$job_dir/$index.seconds") s)"
    else
      echo "== ${job_names[$index]} (FAILED with status $status, $(cat "$job_dir/$index.seconds" 2>/dev/null || echo "?") s)"
      failed=1
    fi
    cat "$job_dir/$index.log"
  done
  [ -z "$job_dir" ] || rm -rf "$job_dir"
  job_dir=""
  job_names=()
  job_pids=()
  return "$failed"
}

jobs_stop() {
  local pid
  for pid in "${job_pids[@]}"; do
    pkill -P "$pid" 2>/dev/null || true
    kill "$pid" 2>/dev/null || true
  done
}
