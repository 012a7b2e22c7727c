#!/usr/bin/env bash
# Validates record JSON against doc/record.schema.json with Debian's
# python3-jsonschema; says NOT RUN (status 77, which ctest counts as skipped)
# where no Python has it.
#
#   json_schema.sh FILE.json...
set -uo pipefail
top="$(cd "$(dirname "$0")/../.." && pwd)"
for python in python3 /usr/bin/python3; do
  if "$python" -c 'import jsonschema' 2>/dev/null; then
    exec "$python" "$top/tests/record_format/validate_json.py" "$top/doc/record.schema.json" "$@"
  fi
done
echo "NOT RUN: the JSON schema check: no Python here has jsonschema (Debian package python3-jsonschema)"
exit 77
