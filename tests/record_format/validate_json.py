"""Validates JSON files against doc/record.schema.json with python3-jsonschema,
a validator nobody here wrote; exits 1 naming each file that fails, and
checks first that the schema itself is valid and refuses a broken record."""
import copy
import json
import sys

import jsonschema

schema_path, *paths = sys.argv[1:]
with open(schema_path, encoding="utf-8") as file:
    schema = json.load(file)
validator_class = jsonschema.validators.validator_for(schema)
validator_class.check_schema(schema)
validator = validator_class(schema)

failed = 0
for path in paths:
    with open(path, encoding="utf-8") as file:
        record = json.load(file)
    errors = sorted(validator.iter_errors(record), key=lambda error: list(error.path))
    for error in errors:
        print(f"FAIL: {path}: {'/'.join(map(str, error.path))}: {error.message}")
    failed += bool(errors)
    # The schema must see a broken record as broken, or it checks nothing.
    broken = copy.deepcopy(record)
    broken["runs"][0]["seconds"] = "fast"
    del broken["machine"]["processor"]
    if validator.is_valid(broken):
        print(f"FAIL: {path}: the schema accepts a record with a text time and no processor")
        failed += 1
    if not errors:
        print(f"ok:   {path}")
print(f"{len(paths) - failed} passed, {failed} failed")
sys.exit(1 if failed else 0)
