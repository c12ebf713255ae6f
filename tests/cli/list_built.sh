#!/usr/bin/env bash
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

json=$("$work/R120.EXE" --list --virtual-drive --json) || fail "--json exit $?"
echo "$json" | grep -q '"qualifies": true' || fail "the fitting drive does not qualify: $json"
json=$("$work/R120.EXE" --list --virtual-drive=rev=1.11 --json) || fail "--json exit $?"
echo "$json" | grep -q '"qualifies": false' || fail "a drive above the range qualifies: $json"
json=$("$work/R120.EXE" --list "--virtual-drive=inquiry=ACME    CD-RW RW5201" --json) || fail "--json exit $?"
echo "$json" | grep -q '"qualifies": false' || fail "another product qualifies: $json"

[ $failures = 0 ] || exit 1
echo "list on a built copy OK"
