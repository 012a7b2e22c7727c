#!/usr/bin/env bash
# The output-equality suite: runs one picalc build, optionally through an
# emulator or wine, and compares its standard output with the expected text
# in tests/data, byte for byte except the "Total time" value. Windows builds
# end their lines with CR LF, as every Windows console program does when its
# output is redirected; those CRs are removed before the comparison.
#
#   output_equality.sh full|rest|quick|smoke BINARY [RUNNER ARGUMENTS...]
#
# "full" compares the runs without arguments, with 0, with 130 and with 763
# digits and Stormer's formula, and the failure statuses; "rest" all of them
# but the default run, for a build whose code another build's default run
# has already shown; "quick" only the default run and the statuses, for
# emulated builds where one run takes minutes; "smoke" only the statuses,
# which end before the timed workloads.
#
# With PICALC_RECORD set to the picalc-record beside BINARY, the default run
# is made by picalc-record (under the same runner), which must record it as
# valid, and the run in its record is compared as any other.
#
# The largest digit count comes from PICALC_MAX_DIGIT_COUNT, or from the
# C++ that states it, through cmake (cmake/picalc_limits.cmake).
set -uo pipefail

suite=$1
binary=$(realpath -m "$2")
shift 2
runner=("$@")
record=${PICALC_RECORD:+$(realpath -m "$PICALC_RECORD")}
data="$(cd "$(dirname "$0")/.." && pwd)/data"
max_digits=${PICALC_MAX_DIGIT_COUNT:-$(cmake -P "$data/../../cmake/picalc_limits.cmake")}
failures=0
# A default run takes seconds natively and a few minutes under an emulator
# sharing the cores: one still going after this many seconds has hung, and
# fails (status 124) instead of stalling CI.
hang=1800

masked() {
  tr -d '\r' | sed 's/^Total time -\?[0-9]*\.[0-9]\{6\} seconds $/Total time <seconds> seconds /'
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# expect_run EXPECTED_STATUS EXPECTED_FILE ARGUMENTS...
expect_run() {
  local status=$1 expected=$2 actual
  shift 2
  # Emulators and wine talk on standard error; it is shown only on failure.
  # The Enter comes from a file: a pipe's writer could outlive a run that ends
  # before it reads, and die of SIGPIPE.
  timeout "$hang" "${runner[@]}" "$binary" "$@" <"$work/enter" >"$work/raw" 2>"$work/stderr"
  actual=$?
  masked <"$work/raw" >"$work/output"
  judge "picalc $*" "$status" "$actual" "$expected"
}

# judge WHAT EXPECTED_STATUS STATUS EXPECTED_FILE: compares the status and
# the masked output in $work/output; standard error is shown on failure.
judge() {
  if [ "$3" -ne "$2" ]; then
    echo "FAIL: $1 exited with $3, expected $2"
    tail -n 20 "$work/stderr"
    failures=$((failures + 1))
  elif ! cmp -s "$4" "$work/output"; then
    echo "FAIL: $1 printed other text:"
    diff "$4" "$work/output" | head -20
    failures=$((failures + 1))
  else
    echo "ok:   $1 (status $2)"
  fi
}

# expect_recorded_run EXPECTED_FILE: picalc-record makes one run and
# records it as valid. Under an emulator, picalc-record starts picalc through
# a script that runs it under the same emulator; under wine, and natively, it
# starts the picalc beside it.
expect_recorded_run() {
  local expected=$1 picalc=() actual
  case "${runner[0]:-}" in
    "" | wine* | */wine*) ;;
    *)
      printf '#!/bin/sh\nexec %s "%s" "$@"\n' "${runner[*]}" "$binary" >"$work/picalc.sh"
      chmod +x "$work/picalc.sh"
      picalc=(--picalc "$work/picalc.sh")
      ;;
  esac
  (cd "$work" && timeout "$hang" "${runner[@]}" "$record" "${picalc[@]}" --runs 1 --copies 0 --record record.txt \
    </dev/null >"$work/raw" 2>"$work/stderr")
  actual=$?
  # A record ends with its runs' output, so a record of one run ends with
  # as many lines of it as the expected text has; the header above them is
  # picalc-record's own, and picalc-check's test reads it.
  tail -n "$(wc -l <"$expected")" "$work/record.txt" 2>/dev/null | masked >"$work/output"
  judge "picalc-record --runs 1 --copies 0, the run in its record" 0 "$actual" "$expected"
}

echo >"$work/enter"
head -n 3 "$data/run_0.txt" >"$work/banner_and_formula"
expect_run 1 "$work/banner_and_formula" "$((max_digits + 1))"
expect_run 1 "$work/banner_and_formula" 99999999999
if [ "$suite" = full ] || [ "$suite" = quick ]; then
  if [ -n "$record" ]; then
    expect_recorded_run "$data/run_default.txt"
  else
    expect_run 0 "$data/run_default.txt"
  fi
fi
if [ "$suite" = full ] || [ "$suite" = rest ]; then
  expect_run 0 "$data/run_0.txt" 0
  expect_run 0 "$data/run_130.txt" 130
  expect_run 0 "$data/run_763_stomer.txt" 763 s
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures failed"
  exit 1
fi
echo "output identical to tests/data"
