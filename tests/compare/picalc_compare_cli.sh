#!/usr/bin/env bash
# picalc-compare as a user runs it: its exit status and first line of output
# or error for two records that differ and two that do not, a tampered
# record, a file that is not a run, an unreadable file, a folder or device, records of different
# workloads, a UTF-16 record, and the command-line mistakes, optionally
# through an emulator or wine.
#
#   picalc_compare_cli.sh PICALC_COMPARE [RUNNER ARGUMENTS...]
set -uo pipefail
compare=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
shift
runner=("$@")
data="$(cd "$(dirname "$0")/.." && pwd)/data"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# record NAME SECONDS...: runs of 130 digits with these times.
record() {
  local name=$1 seconds
  shift
  echo "CPU: test processor" >"$work/$name"
  for seconds in "$@"; do
    sed "s/^Total time <seconds> seconds \$/Total time $seconds seconds /" "$data/run_130.txt" >>"$work/$name"
  done
}
record slow 2.000000 2.100000 2.050000 2.020000 2.080000
record fast 1.800000 1.820000 1.790000 1.850000 1.810000
record same 2.010000 2.090000 2.040000 2.030000 2.070000
# Four sessions of each of two setups, one run each.
for k in 1 2 3 4; do
  record "old$k" "2.0${k}0000"
  record "new$k" "1.8${k}0000"
done
sed 's/^DIGITS: 130$/DIGITS: 131/' "$work/fast" >"$work/tampered"
sed "s/^Total time <seconds> seconds \$/Total time 1.000000 seconds /" "$data/run_763_stomer.txt" >"$work/stomer"
{ printf '\377\376' && iconv -f UTF-8 -t UTF-16LE "$work/fast"; } >"$work/utf16"
echo "not a run" >"$work/text"

failures=0
# expect STATUS TEXT ARGUMENTS...: TEXT must start the output, or the error.
expect() {
  local status=$1 text=$2 actual output
  shift 2
  output=$(cd "$work" && "${runner[@]}" "$compare" "$@" 2>&1 | tr -d '\r')
  actual=$?
  if [ "$actual" -ne "$status" ] || [ "${output#"$text"}" = "$output" ]; then
    echo "FAIL: picalc-compare $*: status $actual, expected $status starting \"$text\"; output:"
    echo "$output" | head -n 5
    failures=$((failures + 1))
  else
    echo "ok:   picalc-compare $*"
  fi
}
expect 0 "A: slow: 5 runs of 130 digits [Gauss]" slow fast
expect 0 "$(printf 'A: slow: 5 runs of 130 digits [Gauss], median 2.050000 s (2.000000 to 2.100000)\n   test processor; build unknown\nB: same')" slow same
expect 0 "A: slow" slow utf16
expect 1 "picalc-compare: tampered: run 1: line" slow tampered
expect 1 "picalc-compare: text: no picalc run found" slow text
expect 2 "picalc-compare: missing: cannot read it" slow missing
mkdir "$work/folder"
expect 2 "picalc-compare: folder: cannot read it: it is a folder, not a file" slow folder
if [[ "${runner[*]:-}" != *wine* ]]; then
  expect 2 "picalc-compare: /dev/zero: cannot read it: it is not a regular file" slow /dev/zero
fi
expect 1 "picalc-compare: slow holds runs of 130 digits [Gauss] and stomer runs of 763 digits [Stomer]" slow stomer
expect 0 "**130 digits [Gauss]**, against fast (the fastest)" --markdown slow fast same stomer
expect 0 "workload,record,path" --csv slow fast
expect 0 "{" --json slow
expect 0 "A: slow: 5 runs" --baseline slow fast
expect 0 "130 digits [Gauss], against slow (the baseline given):" --baseline slow fast same slow --times "x:130:Gauss:2.5,2.6"
expect 2 "picalc-compare: other: cannot read it" --baseline other slow fast
expect 2 "picalc-compare: choose one of --markdown, --csv and --json" --csv --json slow
expect 2 "picalc-compare: unknown option --fast" --fast slow
expect 2 "picalc-compare: --setup needs a value" slow --setup
expect 2 "picalc-compare: no FILE to compare"
expect 0 "usage: picalc-compare" --help

# With --json, what was refused also comes on standard output, as JSON, for
# programs: the file (null for the comparison itself) and a reason.
refused() { # STATUS FILE ARGUMENTS...
  local status=$1 file=$2 actual output
  shift 2
  output=$(cd "$work" && "${runner[@]}" "$compare" --json "$@" 2>/dev/null | tr -d '\r')
  actual=$?
  if [ "$actual" -eq "$status" ] && jq -e --arg file "$file" \
    '.refused[0] | (.file // "null") == $file and (.reason | length) > 0' <<<"$output" >/dev/null; then
    echo "ok:   picalc-compare --json $* names $file"
  else
    echo "FAIL: picalc-compare --json $*: status $actual, expected $status and $file refused; output:"
    echo "$output" | head -n 5
    failures=$((failures + 1))
  fi
}
refused 1 tampered slow tampered
refused 2 missing slow missing
refused 1 null slow stomer

# The verdicts themselves.
grep_verdict() { # PATTERN FILES...
  local pattern=$1
  shift
  if (cd "$work" && "${runner[@]}" "$compare" "$@") | tr -d '\r' | grep "$pattern" >/dev/null; then
    echo "ok:   verdict \"$pattern\""
  else
    echo "FAIL: picalc-compare $* gives no line matching \"$pattern\""
    failures=$((failures + 1))
  fi
}
grep_verdict '^Single runs: No verdict: the runs differ (B is 13.3 % faster than A (95 % interval 9.9 to 16.2 %; p = 0.008, 5 and 5 runs)), but this is one record of each' slow fast
grep_verdict '^Single runs: B is 11.0 % faster than A (95 % interval 9.2 to 12.7 %; p = 0.03, 4 and 4 records)$' --setup old old1 old2 old3 old4 --setup new new1 new2 new3 new4
grep_verdict '^A: old: 4 records of 130 digits' --setup old old1 old2 old3 old4 --setup new new1 new2 new3 new4
grep_verdict '^Single runs: Too few records to show any difference (2 and 2 records' --setup old old1 old2 --setup new new1 new2
grep_verdict '^Single runs: No difference shown (p = 1.00, 5 and 5 runs)$' slow same
grep_verdict 'is times alone, given with --times: this comparison checked no outputs' slow --times "x:130:Gauss:2.5,2.6,2.7"
[ "$failures" -eq 0 ] || exit 1
