#!/usr/bin/env bash
# picalc-check as a user runs it: where it reads from, what it prints and its
# exit status for a valid run, a tampered one, a run that ended early, input
# it cannot read or that would never end, a run saved as UTF-16 and a file of two runs, optionally
# through an emulator or wine.
#
#   picalc_check_cli.sh PICALC_CHECK [RUNNER ARGUMENTS...]
set -uo pipefail
check=$1
shift
runner=("$@")
data="$(cd "$(dirname "$0")/.." && pwd)/data"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
sed 's/^Total time <seconds> seconds $/Total time 1.456000 seconds /' "$data/run_130.txt" >"$work/valid"
sed 's/^DIGITS: 130$/DIGITS: 131/' "$work/valid" >"$work/tampered"
head -n 3 "$work/valid" >"$work/early"
: >"$work/empty"
# As Windows PowerShell 5.1's ">" saves a run, and a record of two runs.
{ printf '\377\376' && iconv -f UTF-8 -t UTF-16LE "$work/valid"; } >"$work/utf16"
cat "$work/valid" "$work/valid" >"$work/two"
cat "$work/valid" "$work/tampered" >"$work/two_tampered"

failures=0
checks=0
# expect STATUS OUTPUT_START STDIN ARGUMENTS...
expect() {
  local status=$1 start=$2 input=$3 actual output
  shift 3
  # A check takes well under a second, and seconds under an emulator: a
  # run that goes on is a hang, and fails here instead of stopping CI.
  output=$(timeout 120 "${runner[@]}" "$check" "$@" <"$input" 2>&1)
  actual=$?
  checks=$((checks + 1))
  if [ "$actual" -ne "$status" ] || [[ "$output" != "$start"* ]]; then
    echo "FAIL: picalc-check $* <$(basename "$input"): status $actual, \"$output\""
    failures=$((failures + 1))
  else
    echo "ok:   picalc-check $* <$(basename "$input"): $status"
  fi
}
expect 0 "valid: 130 digits" /dev/null "$work/valid"
expect 0 "valid: 130 digits" "$work/valid"
expect 0 "valid: 130 digits" "$work/valid" -
expect 1 "line 7: DIGITS: 131" /dev/null "$work/tampered"
expect 1 "not a complete run" "$work/early"
expect 1 "no picalc run found" /dev/null "$work/empty"
expect 2 "picalc-check: cannot read $work/missing:" /dev/null "$work/missing"
expect 2 "picalc-check: cannot read $work: it is a folder, not a file" /dev/null "$work"
# Devices and FIFOs never end, or block: refused before a byte is read. Wine
# maps neither to a Windows file, so they are tried where POSIX runs them.
if [[ "${runner[*]:-}" != *wine* ]]; then
  mkfifo "$work/fifo"
  expect 2 "picalc-check: cannot read /dev/zero: it is not a regular file" /dev/null /dev/zero
  expect 2 "picalc-check: cannot read $work/fifo: it is not a regular file" /dev/null "$work/fifo"
  expect 2 "picalc-check: cannot read standard input: it is a device" /dev/zero
fi
expect 2 "usage: picalc-check" /dev/null "$work/valid" "$work/valid"
expect 0 "valid: 130 digits" /dev/null "$work/utf16"
expect 0 "valid: 2 runs of 130 digits [Gauss], median total time 1.456000" /dev/null "$work/two"
expect 1 "run 2: line $(($(wc -l <"$work/valid") + 7)): DIGITS: 131" /dev/null "$work/two_tampered"
echo "$((checks - failures)) passed, $failures failed"
[ "$failures" -eq 0 ]
