#!/usr/bin/env bash
# The output-equality suite: runs one picalc build, optionally through an
# emulator or wine, and compares its standard output with the expected text
# in tests/data, byte for byte except the "Total time" value. Windows builds
# end their lines with CR LF, as every Windows console program does when its
# output is redirected; those CRs are removed before the comparison.
#
#   output_equality.sh full|quick|smoke BINARY [RUNNER ARGUMENTS...]
#
# "full" compares the runs without arguments, with 0, with 130 and with 763
# digits and Stormer's formula, and the failure statuses; "quick" only the
# default run and the statuses, for emulated builds where one run takes
# minutes; "smoke" only the statuses, which end before the timed workloads.
set -uo pipefail

suite=$1
binary=$2
shift 2
runner=("$@")
data="$(cd "$(dirname "$0")" && pwd)/data"
failures=0

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
  "${runner[@]}" "$binary" "$@" <"$work/enter" >"$work/raw" 2>"$work/stderr"
  actual=$?
  masked <"$work/raw" >"$work/output"
  if [ "$actual" -ne "$status" ]; then
    echo "FAIL: picalc $* exited with $actual, expected $status"
    tail -n 20 "$work/stderr"
    failures=$((failures + 1))
  elif ! cmp -s "$expected" "$work/output"; then
    echo "FAIL: picalc $* printed other text:"
    diff "$expected" "$work/output" | head -20
    failures=$((failures + 1))
  else
    echo "ok:   picalc $* (status $status)"
  fi
}

echo >"$work/enter"
head -n 3 "$data/run_0.txt" >"$work/banner_and_formula"
expect_run 1 "$work/banner_and_formula" 1073741818
expect_run 1 "$work/banner_and_formula" 99999999999
if [ "$suite" != smoke ]; then
  expect_run 0 "$data/run_default.txt"
fi
if [ "$suite" = full ]; then
  expect_run 0 "$data/run_0.txt" 0
  expect_run 0 "$data/run_130.txt" 130
  expect_run 0 "$data/run_763_stomer.txt" 763 s
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures failed"
  exit 1
fi
echo "output identical to tests/data"
