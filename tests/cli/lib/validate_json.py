#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
# Checks JSON output against the published schemas (docs/schema/, draft 2020-12): each file
# given is one document, or with --lines one document per line. The schema is the one the
# document names in its "schema" key ("flashutil-list/1" -> flashutil-list-1.json), and must
# be the one expected. Prints every violation; exits 1 when there is any.
# Usage: validate_json.py SCHEMA-DIR EXPECTED-NAME [--lines] FILE...
import json
import os
import sys

import jsonschema


def main():
    schema_dir, expected, *rest = sys.argv[1:]
    lines = rest[:1] == ["--lines"]
    files = rest[1:] if lines else rest
    schemas = {}
    problems = 0
    documents = 0
    for path in files:
        with open(path, encoding="utf-8") as f:
            text = f.read()
        parts = [line for line in text.split("\n") if line] if lines else [text]
        for number, part in enumerate(parts, 1):
            where = f"{path}:{number}" if lines else path
            documents += 1
            try:
                document = json.loads(part)
            except ValueError as e:
                print(f"{where}: not JSON: {e}")
                problems += 1
                continue
            named = document.get("schema") if isinstance(document, dict) else None
            if named != expected:
                print(f"{where}: names schema {named!r}, not {expected!r}")
                problems += 1
                continue
            if named not in schemas:
                with open(os.path.join(schema_dir, named.replace("/", "-") + ".json"), encoding="utf-8") as f:
                    schema = json.load(f)
                jsonschema.Draft202012Validator.check_schema(schema)
                schemas[named] = jsonschema.Draft202012Validator(schema)
            for error in schemas[named].iter_errors(document):
                print(f"{where}: {'/'.join(map(str, error.absolute_path)) or '(document)'}: {error.message}")
                problems += 1
    if documents == 0:
        print(f"no {expected} document in {' '.join(files)}")
        problems += 1
    sys.exit(1 if problems else 0)


if __name__ == "__main__":
    main()
