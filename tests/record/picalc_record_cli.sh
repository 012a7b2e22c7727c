#!/usr/bin/env bash
# picalc-record as a user runs it: two runs and two rounds of two copies make
# a record that picalc-check accepts and JSON that a JSON parser reads, with
# the processor and processor count this system reports; a missing or failing
# picalc, one that prints a wrong line, a bad option and an unwritable record
# each fail with a message and leave no record. A run beside a busy process
# is flagged as disturbed, and one on a quiet machine is not; two records of
# one day get two names, and an existing file is replaced only with
# --overwrite. Runs that slow steadily are named as drift. A run past the
# time limit is stopped; TERM stops picalc-record, its picalc, and leaves no
# file; text that would forge record lines is refused.
#
#   picalc_record_cli.sh PICALC_RECORD PICALC_CHECK
set -uo pipefail
record=$(realpath "$1")
check=$(realpath "$2")
data="$(cd "$(dirname "$0")/.." && pwd)/data"
work=$(mktemp -d)
busy=""
trap '[ -z "$busy" ] || kill "$busy" 2>/dev/null; rm -rf "$work"' EXIT
export TMPDIR=$work/tmp
mkdir "$TMPDIR"

# Fake picalcs: one that prints a genuine run and exits 3, one that prints a
# run with a wrong DIGITS line.
genuine="$work/genuine.txt"
sed 's/^Total time <seconds> seconds $/Total time 1.456000 seconds /' "$data/run_130.txt" >"$genuine"
printf '#!/bin/sh\ncat %s\nexit 3\n' "$genuine" >"$work/exits_3"
printf '#!/bin/sh\nsed "s/^DIGITS: 130$/DIGITS: 131/" %s\n' "$genuine" >"$work/wrong_line"
chmod +x "$work/exits_3" "$work/wrong_line"

failures=0
checks=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# expect STATUS STDERR_TEXT ARGUMENTS...: no record may be left behind.
expect() {
  local status=$1 text=$2 actual
  shift 2
  checks=$((checks + 1))
  (cd "$work" && timeout 600 "$record" --record "$work/r.txt" "$@" >"$work/out" 2>"$work/err")
  actual=$?
  if [ "$actual" -ne "$status" ] || ! grep -qF -- "$text" "$work/err" || [ -e "$work/r.txt" ]; then
    fail "picalc-record $*: status $actual, record left: $([ -e "$work/r.txt" ] && echo yes || echo no)"
    cat "$work/err"
  else
    echo "ok:   picalc-record $*: $status, \"$text\""
  fi
  rm -f "$work/r.txt"
}
expect 2 "cannot read $work/missing" --picalc "$work/missing" 0
expect 1 "picalc exited with status 3" --picalc "$work/exits_3" --runs 1 130
expect 1 "line 7: DIGITS: 131 does not match" --picalc "$work/wrong_line" --runs 1 130
expect 2 "unknown option \"--fast\"" --fast 0
expect 2 "--runs takes a whole number" --runs 0 0
expect 2 "cannot write $work/no-such-folder/r.json" --json "$work/no-such-folder/r.json" 0
# A missing temporary folder (a bare container has no /tmp) is named as what
# is missing, not blamed on picalc.
TMPDIR=$work/no-tmp expect 2 "cannot make a folder for the runs' output in $work/no-tmp" --runs 1 130
if [ "$(find "$TMPDIR" -path '*/picalc-record-*/run-1.txt' | wc -l)" -ne 2 ]; then
  fail "the failed runs' outputs were not kept in TMPDIR: $(ls -R "$TMPDIR")"
fi
# Text that would become lines of the record, and one file for both outputs.
expect 2 "--by takes a name on one line" --by $'Mallory\nCopies: 2 at once, 2 rounds' 0
expect 2 "--record and --json name the same file" --json "$work/./r.txt" 0
# A picalc that never ends is stopped at the limit, and the run fails.
printf '#!/bin/sh\nexec sleep 600\n' >"$work/endless"
chmod +x "$work/endless"
expect 1 "ran past the time limit of 1 s" --picalc "$work/endless" --time-limit 1 --runs 1 130

# Stopped by TERM while picalc runs: the picalc goes too, no folder stays
# behind, and picalc-record ends as TERM ends a program. The fake picalc
# says when it runs, and the test waits for that, not for a time.
checks=$((checks + 1))
printf '#!/bin/sh\necho $$ >"%s"\nexec sleep 600\n' "$work/started" >"$work/slow"
chmod +x "$work/slow"
before=$(ls "$TMPDIR" | sort)
"$record" --picalc "$work/slow" --record "$work/r.txt" --runs 1 130 >/dev/null 2>"$work/err" &
recorder=$!
for _ in $(seq 600); do [ -s "$work/started" ] && break; sleep 0.1; done
folder_mode=$(stat -c %a "$TMPDIR"/picalc-record-* 2>/dev/null | sort | tail -n 1)
kill -TERM "$recorder"
wait "$recorder"
status=$?
child=$(cat "$work/started" 2>/dev/null)
if [ -z "$child" ]; then
  fail "the fake picalc never started: $(cat "$work/err")"
elif [ "$status" -ne 143 ] || kill -0 "$child" 2>/dev/null || [ "$(ls "$TMPDIR" | sort)" != "$before" ] ||
  [ -e "$work/r.txt" ]; then
  fail "after TERM: status $status, picalc $(kill -0 "$child" 2>/dev/null && echo running || echo gone), TMPDIR: $(ls "$TMPDIR")"
  kill "$child" 2>/dev/null
elif [ "$folder_mode" != 700 ]; then
  fail "the runs' folder is open to others: mode $folder_mode"
else
  echo "ok:   TERM stops picalc-record and its picalc, and leaves nothing behind"
fi

checks=$((checks + 1))
if ! (cd "$work" && timeout 600 "$record" --runs 2 --copies 2 --record "$work/r.txt" --json "$work/r.json" 0 \
  >"$work/out" 2>"$work/err"); then
  fail "picalc-record --runs 2 --copies 2 0 failed"
  cat "$work/err"
else
  verdict=$("$check" "$work/r.txt")
  processor=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)
  [[ "$verdict" == "valid: 2 runs of 0 digits [Gauss], median total time "* ]] || fail "the record: $verdict"
  grep -q "^Cores: $(getconf _NPROCESSORS_ONLN) logical processors" "$work/r.txt" || fail "the record's Cores: line"
  grep -qE '^Build: picalc .*, (glibc [0-9]+\.[0-9]+|musl|msvcrt\.dll|UCRT)$' "$work/r.txt" ||
    fail "the record's Build: line names no C library: $(grep '^Build: ' "$work/r.txt")"
  if [ -n "$processor" ]; then
    grep -q "^CPU: $processor\( (.*)\)\?$" "$work/r.txt" || fail "the record's CPU: line does not name \"$processor\""
  fi
  for line in "Run times: " "Median: " "Copy times: " "Copy median: " "Scaling: "; do
    grep -q "^$line" "$work/out" || fail "the summary lacks \"$line\""
  done
  grep -q '^round 2 of 2: 2 copies at once \.\.\. [0-9.]* [0-9.]* s\( (disturbed: .*)\)\?$' "$work/err" ||
    fail "no progress for the copies"
  if command -v python3 >/dev/null; then
    python3 -c 'import json, sys; r = json.load(open(sys.argv[1])); assert len(r["runs"]) == 2 and len(r["copies"]) == 2, r' \
      "$work/r.json" || fail "the JSON does not parse, or lacks runs"
  else
    echo "NOT RUN: parsing the JSON (no python3 here)"
  fi
  [ "$(find "$TMPDIR" -type f | grep -vc '/run-1.txt$')" -eq 0 ] || fail "outputs left in TMPDIR: $(find "$TMPDIR")"
  echo "ok:   picalc-record --runs 2 --copies 2 0: $verdict"
fi
# How many processors other processes keep busy over one second, from the
# system's counters: a sample, not a wait; the quiet check needs a quiet
# machine.
background_load() {
  local a b
  a=($(head -n 1 /proc/stat))
  sleep 1
  b=($(head -n 1 /proc/stat))
  awk -v busy=$(((b[1] + b[2] + b[3] + b[6] + b[7]) - (a[1] + a[2] + a[3] + a[6] + a[7]))) \
    -v all=$(((b[1] + b[2] + b[3] + b[4] + b[5] + b[6] + b[7] + b[8]) - (a[1] + a[2] + a[3] + a[4] + a[5] + a[6] + a[7] + a[8]))) \
    -v n="$(getconf _NPROCESSORS_ONLN)" 'BEGIN { print (all > 0) ? busy / (all / n) : 0 }'
}
first_run_load() { # JSON: the first run's other_load, read with jq
  jq -r '.runs[0].other_load' "$1"
}

mkdir "$work/names"
checks=$((checks + 1))
quiet_before=$(background_load)
echo '{"old": true}' >"$work/names/quiet.json"
(cd "$work/names" && timeout 600 "$record" --runs 1 --copies 0 --json quiet.json --overwrite 0 >"$work/quiet.out" 2>&1)
quiet_status=$?
quiet_after=$(background_load)
( while :; do :; done ) &
busy=$!
(cd "$work/names" && timeout 600 "$record" --runs 1 --copies 0 --json busy.json 0 >"$work/busy.out" 2>&1)
busy_status=$?
kill "$busy"
busy=""
first=$(sed -n 's/^Record: //p' "$work/quiet.out")
second=$(sed -n 's/^Record: //p' "$work/busy.out")
if [ "$quiet_status" -ne 0 ] || [ "$busy_status" -ne 0 ]; then
  fail "picalc-record --runs 1 --copies 0 0: statuses $quiet_status and $busy_status"
  cat "$work/quiet.out" "$work/busy.out"
elif [ "$second" != "${first%.txt}-2.txt" ] || [ ! -f "$work/names/$first" ] || [ ! -f "$work/names/$second" ]; then
  fail "two records of one day in one folder: \"$first\" and \"$second\""
elif jq -e 'has("old")' "$work/names/quiet.json" >/dev/null; then
  fail "--overwrite did not replace quiet.json"
elif ! grep -q '^Disturbed: other work kept processors busy during run 1 of 1 (' "$work/names/$second" ||
  ! jq -e '.summary.disturbed[0] | startswith("run 1 of 1 (")' "$work/names/busy.json" >/dev/null; then
  fail "the run beside a busy process is not flagged: $(grep -E '^(Disturbed|Other work)' "$work/names/$second")"
else
  quiet_load=$(first_run_load "$work/names/quiet.json")
  busy_load=$(first_run_load "$work/names/busy.json")
  echo "ok:   beside a busy process other work kept $busy_load processors busy, flagged"
  # Other work that was there before or after the quiet run may have run
  # during it: then the machine was not quiet, and the check cannot be made.
  if awk -v b="$quiet_before" -v a="$quiet_after" 'BEGIN { exit !(b > 0.1 || a > 0.1) }'; then
    echo "NOT RUN: the quiet run's check (other processes kept $quiet_before processors busy before it, $quiet_after after)"
  elif ! grep -q '^Other work: at most' "$work/names/$first" || ! awk -v q="$quiet_load" -v b="$busy_load" 'BEGIN { exit !(q < b) }'; then
    fail "the quiet run: $(grep -E '^(Disturbed|Other work)' "$work/names/$first"), other load $quiet_load against $busy_load"
  else
    echo "ok:   on a quiet machine other work kept $quiet_load processors busy, not flagged"
  fi
fi
# Real runs' JSON holds to the published schema.
if [ -f "$work/names/busy.json" ]; then
  checks=$((checks + 1))
  bash "$(dirname "$0")/../record_format/json_schema.sh" "$work/names/quiet.json" "$work/names/busy.json"
  case $? in
    0) ;;
    77) checks=$((checks - 1)) ;;
    *) fail "picalc-record's JSON does not hold to doc/record.schema.json" ;;
  esac
fi
rm -f "$work/r.txt"
expect 2 "$first exists: give --overwrite" --record "$work/names/$first" 0

# A picalc whose runs slow by 20 ms each: the progress line says so once the
# runs so far show it, and the record, its JSON and picalc-compare name it.
checks=$((checks + 1))
printf '#!/bin/sh
n=$(($(cat %s/count 2>/dev/null || echo 0) + 1))
echo $n >%s/count
' "$work" "$work" >"$work/slowing"
printf 'sed "s/^Total time 1.456000 seconds \$/Total time 1.$((400 + 20 * n))000 seconds /" %s\n' "$genuine" >>"$work/slowing"
chmod +x "$work/slowing"
(cd "$work" && timeout 600 "$record" --picalc "$work/slowing" --runs 6 --copies 0 --record "$work/slowing.txt" \
  --json "$work/slowing.json" 130 >"$work/out" 2>"$work/err")
drift="runs slowed 6.8 % from first to last (p = 0.003): the machine was warming up or throttling, or other work changed"
# (Other work, such as a parallel test, may add its own note to a line.)
if ! grep -F "; so far the $drift" "$work/err" | grep -q '^run 6 of 6 \.\.\. 1\.520000 s' ||
  grep -q "so far" <(head -n 4 "$work/err") ||
  ! grep -qxF "Drift: $drift" "$work/slowing.txt" ||
  ! jq -e '.summary.drift | .drifted and .tested and .count == 6' "$work/slowing.json" >/dev/null; then
  fail "slowing runs: the drift is not named as it should be"
  cat "$work/err"
  grep '^Drift' "$work/slowing.txt"
else
  echo "ok:   slowing runs: \"$drift\" in the progress line, the record and the JSON"
  bash "$(dirname "$0")/../record_format/json_schema.sh" "$work/slowing.json"
  [ $? -ne 1 ] || fail "the JSON of a drifted record does not hold to doc/record.schema.json"
fi

# --versus: both programs alternate in a balanced order, runs and rounds,
# and the record holds every output in the order run, for picalc-check.
checks=$((checks + 1))
if (cd "$work" && "$record" --runs 2 --copies 2 --versus "$(dirname "$record")/picalc" \
  --record "$work/vs.txt" 0 >"$work/out" 2>"$work/err") &&
  grep -qx 'Order: \(AB BA\|BA AB\)' "$work/vs.txt" &&
  grep -qx 'Copy order: \(AB BA\|BA AB\)' "$work/vs.txt" &&
  grep -q '^Versus build: picalc ' "$work/vs.txt" &&
  [ "$(grep -c '^pi calc' "$work/vs.txt")" = 4 ] && "$check" "$work/vs.txt" >/dev/null; then
  echo "ok:   picalc-record --versus: both alternated, every output kept and checked"
else
  fail "picalc-record --versus"
  cat "$work/err" "$work/vs.txt" 2>/dev/null | head -40
fi

echo "$((checks - failures)) passed, $failures failed"
[ "$failures" -eq 0 ]
