#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# flashutil --list on a built copy: the virtual drive fits the copy's identity block by
# default (inquiry text, lowest revision of the range; a fixed product and 0000 for the
# wildcards), and --json tells which drives qualify for the copy's image.
# Arguments: path-to-flashutil source-dir
source "$(dirname "$0")/lib/common.sh"

cat > "$work/flashutil.INI" <<'INI'
[MODEL00]
Model=RW-5200
Inquiry=ACME    CD-RW RW5200
FW-Range=1.00-1.10
BINMask=*.BIN
Vendor=Acme
Note=normal

[MODEL01]
Model=Any
Inquiry=--
FW-Range=---------
BINMask=*.BIN
Vendor=Acme
Note=normal
INI
build_copy R120.BIN 0
build_copy W200.BIN 1

out=$("$work/R120.EXE" --list --virtual-drive 2>&1) || fail "built copy --list exit $?"
[ "$out" = "0-0-0 V: ACME    CD-RW RW5200    1.00  virtual:0 (virtual drive)" ] ||
    fail "built copy lists: $out"

out=$("$work/W200.EXE" --list --virtual-drive 2>&1) || fail "wildcard copy --list exit $?"
[ "$out" = "0-0-0 V: VIRTUAL OPTICAL DRIVE   0000  virtual:0 (virtual drive)" ] ||
    fail "wildcard copy lists: $out"

# --json: whether each drive qualifies, why not in words, and the revision the copy installs.
field() { python3 -c 'import json, sys; print(json.load(sys.stdin)["drives"][0][sys.argv[1]])' "$1"; }
json=$("$work/R120.EXE" --list --virtual-drive --json) || fail "--json exit $?"
[ "$(field qualifies <<<"$json")" = True ] || fail "the fitting drive does not qualify: $json"
[ "$(field not_qualified_because <<<"$json")" = None ] || fail "a fitting drive has a reason: $json"
[ "$(field new_revision <<<"$json")" = R120 ] || fail "new_revision: $json"
json=$("$work/R120.EXE" --list --virtual-drive=rev=1.11 --json) || fail "--json exit $?"
[ "$(field qualifies <<<"$json")" = False ] || fail "a drive above the range qualifies: $json"
grep -q '"not_qualified_because": "firmware 1.11 is outside 1.00 to 1.10"' <<<"$json" ||
    fail "the range reason: $json"
json=$("$work/R120.EXE" --list "--virtual-drive=inquiry=ACME    CD-RW RW5201" --json) || fail "--json exit $?"
[ "$(field qualifies <<<"$json")" = False ] || fail "another product qualifies: $json"
grep -q '"not_qualified_because": "the drive is not a \\"ACME    CD-RW RW5200    \\""' <<<"$json" ||
    fail "the product reason: $json"

[ $failures = 0 ] || exit 1
echo "list on a built copy OK"
