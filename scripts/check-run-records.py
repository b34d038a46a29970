#!/usr/bin/python3
"""Checks the run records of a tool folder against docs/run-record.schema.json.

    python3 scripts/check-run-records.py TOOL_FOLDER [--schema SCHEMA]

Every line of every TOOL_FOLDER/records/*.jsonl must be one whole line (ending in a line feed,
no carriage return), one JSON object without repeated keys, and valid against the schema.
Prints each problem as "FILE:LINE: reason" (then the line's beginning) and exits 1 when there is one; 2 when the check
itself cannot run (no records folder, no schema, no jsonschema module); 0 otherwise.

Debian's python3-jsonschema (scripts/install-deps.sh) is installed for /usr/bin/python3.
"""
import argparse
import glob
import json
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
DEFAULT_SCHEMA = os.path.join(HERE, "..", "docs", "run-record.schema.json")


class RepeatedKey(ValueError):
    pass


def no_repeated_keys(pairs):
    seen = set()
    for key, _ in pairs:
        if key in seen:
            raise RepeatedKey(f"the key {key!r} appears twice in one object")
        seen.add(key)
    return dict(pairs)


def line_problems(raw, validator):
    """The reasons a raw line (bytes, with its line end) is not a valid record."""
    if not raw.endswith(b"\n"):
        return ["the line does not end with a line feed (a partial record)"]
    body = raw[:-1]
    if b"\r" in body:
        return ["carriage return in the line"]
    try:
        record = json.loads(body.decode("utf-8"), object_pairs_hook=no_repeated_keys)
    except RepeatedKey as e:
        return [str(e)]
    except (UnicodeDecodeError, ValueError) as e:
        return [f"not JSON: {e}"]
    problems = []
    for error in sorted(validator.iter_errors(record), key=lambda e: list(e.absolute_path)):
        where = "/".join(str(p) for p in error.absolute_path) or "(record)"
        problems.append(f"{where}: {error.message}")
    return problems


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("folder", help="the tool folder that holds records/")
    parser.add_argument("--schema", default=DEFAULT_SCHEMA)
    args = parser.parse_args()
    try:
        import jsonschema
    except ImportError:
        print("check-run-records: the jsonschema module is missing "
              "(Debian: python3-jsonschema, see scripts/install-deps.sh)", file=sys.stderr)
        return 2
    records = os.path.join(args.folder, "records")
    if not os.path.isdir(records):
        print(f"check-run-records: {records} is not a folder", file=sys.stderr)
        return 2
    try:
        with open(args.schema, encoding="utf-8") as f:
            schema = json.load(f)
        validator_class = jsonschema.validators.validator_for(schema)
        validator_class.check_schema(schema)
    except (OSError, ValueError, jsonschema.exceptions.SchemaError) as e:
        print(f"check-run-records: schema {args.schema}: {e}", file=sys.stderr)
        return 2
    validator = validator_class(schema)

    bad = 0
    checked = 0
    for path in sorted(glob.glob(os.path.join(records, "*.jsonl"))):
        with open(path, "rb") as f:
            for number, raw in enumerate(f, start=1):
                checked += 1
                problems = line_problems(raw, validator)
                for problem in problems:
                    print(f"{path}:{number}: {problem}")
                if problems:
                    bad += len(problems)
                    text = raw.decode("utf-8", errors="replace").rstrip("\n")
                    print(f"    {text[:200]}{' ...' if len(text) > 200 else ''}")
    if bad:
        print(f"check-run-records: {bad} problem(s) in {checked} record line(s)")
        return 1
    print(f"check-run-records: {checked} record line(s) valid")
    return 0


if __name__ == "__main__":
    sys.exit(main())
