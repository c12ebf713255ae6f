#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Every byte a run sends is sealed and signed: an image that does not end on a chunk's end
# goes out with the rest of its last 16 KiB chunk (the blank copy's bytes after it), and a
# change there is damage to --info, --verify and the run, in a copy signed by a key of the
# system's directory under RequireSignature=yes. A copy made the way earlier versions made
# them (seal and signature over the image alone) still flashes without the policy, and
# --info, --verify and the run say that it covers less than it sends; the policy counts it
# as not signed. Run against the test build whose system directory lies in the build tree.
# Arguments: path-to-test-build source-dir its-system-configuration-directory
source "$(dirname "$0")/../lib/common.sh"
etc=$3
rm -rf "$etc" && mkdir -p "$etc/trusted-keys" || { echo "FAIL: no $etc"; exit 1; }
export XDG_CONFIG_HOME="$work/config"

model_ini > "$work/flashutil.INI"
cp "$flashutil" "$work/flashutil"
# 500,000 bytes: 30 whole chunks and 7,904 bytes of a 31st; 7,904 bytes of the area go with it.
length=500000 sent=507904
head -c $length /dev/zero | tr '\0' '\125' > "$work/R120.BIN"
(umask 077 && openssl genpkey -algorithm ed25519 -out "$work/vendor.key") || fail "openssl genpkey"
openssl pkey -in "$work/vendor.key" -pubout -out "$etc/trusted-keys/vendor.pem"
(cd "$work" && ./flashutil --build --model 0 --image R120.BIN --sign-key "$work/vendor.key" >> build.log 2>&1) ||
    fail "signed build: $(cat "$work/build.log")"
built="$work/R120.EXE"
echo 'RequireSignature=yes' > "$etc/flashutil.conf"

# copy_with NAME PYTHON: the built copy changed by PYTHON, which gets the file's bytes as d and
# the offsets of the identity block, seal, version and signature areas as k, s, v, g.
copy_with() {
    python3 - "$built" "$work/$1" "$2" <<'PY'
import hashlib, struct, sys
d = bytearray(open(sys.argv[1], 'rb').read())
k, s, v, g = (d.find(b'FLUTIL.' + n + b'\0') for n in (b'IDBLOCK', b'SEALBLK', b'VERSION', b'SIGNBLK'))
assert min(k, s, v, g) >= 0
length, = struct.unpack_from('<I', d, k + 148)
exec(sys.argv[3])
open(sys.argv[2], 'wb').write(d)
PY
    chmod +x "$work/$1"
}
sent_sha=$(python3 -c 'import hashlib,sys; d=open(sys.argv[1],"rb").read(); k=d.find(b"FLUTIL."+b"IDBLOCK\0"); print(hashlib.sha256(d[k+152:k+152+int(sys.argv[2])]).hexdigest())' "$built" $sent)

# 1. As built: --info names the bytes sent and their digest; every check passes.
run_command info "$flashutil" --info "$built"
grep -qx "Sent: *$sent bytes, the image and the 7904 bytes of the image area after it (its last chunk sent whole)" \
    "$work/info.out" || fail "--info does not name the bytes sent: $(out info)"
grep -qx "Sent SHA-256: *$sent_sha" "$work/info.out" || fail "--info: not the digest of the bytes sent: $(out info)"
grep -qx 'Seal: *valid' "$work/info.out" || fail "--info: $(out info)"
run_command info-json "$flashutil" --info --json "$built"
python3 - "$work/info-json.out" "$sent" "$sent_sha" <<'PY' || fail "--info --json: $(out info-json)"
import json, sys
d = json.load(open(sys.argv[1]))
assert d["image"]["sent_length"] == int(sys.argv[2]) and d["image"]["sent_sha256"] == sys.argv[3], d["image"]
assert d["seal_covers"] == int(sys.argv[2]) and d["signature"]["covers"] == int(sys.argv[2]), d
PY
run_command verify "$flashutil" --verify "$built"
[ "$(rc verify)" = 0 ] || fail "--verify of the built copy: exit $(rc verify): $(err verify)"
run_command run "$built" --cli --yes --virtual-drive --trace "$work/run.trace" --trace-data
[ "$(rc run)" = 0 ] || fail "the built copy: exit $(rc run): $(err run)"
grep -q 'earlier version' "$work/run.out" "$work/run.err" && fail "the built copy is said to cover less"
# The run sends exactly the bytes sealed: 31 chunks, the last one the image's end and the area after it.
python3 - "$work/run.trace" "$built" <<'PY' || fail "the run sent other bytes than those sealed"
import hashlib, json, sys
d = open(sys.argv[2], 'rb').read()
area = d.find(b'FLUTIL.' + b'IDBLOCK\0') + 152
lines = [c for c in map(json.loads, open(sys.argv[1])) if "cdb" in c]
chunks = [l for l in lines if l["cdb"].startswith("3b0501") and l["cdb"][18:20] == "00" and l["len"] == 16384]
assert len(chunks) == 31, len(chunks)
last = chunks[-1]
assert int(last["cdb"][6:12], 16) == 30 * 16384 and last["len"] == 16384, last
assert last["sha256"] == hashlib.sha256(d[area + 30 * 16384:area + 31 * 16384]).hexdigest(), last
PY

# The image taken out is the image; the note and the history name what a run sends.
run_command extract "$flashutil" --extract-image "$work/out.BIN" "$built"
cmp -s "$work/out.BIN" "$work/R120.BIN" || fail "--extract-image wrote another image"
grep -qF "a run of $built sends $sent bytes, the image and the 7904 bytes of the image area after it (SHA-256 $sent_sha)" \
    "$work/extract.err" || fail "--extract-image does not say what a run sends: $(err extract)"
run_command history "$flashutil" --history
grep -qx "    sent SHA-256 $sent_sha (the image and the rest of its last chunk)" "$work/history.out" ||
    fail "--history does not name what was sent: $(out history)"

# 2. A byte of the area after the image changed, inside the last chunk sent (and the chunk's
#    last byte): damage for --info, --verify and the run, before any drive command.
for at in 100 7903; do
    name="tail-$at"
    copy_with "$name.EXE" "d[k + 152 + length + $at] ^= 0x5a"
    file="$work/$name.EXE"
    run_command "$name-info" "$flashutil" --info "$file"
    grep -qx 'Seal: *damaged (the firmware image or the bytes sent after it differ)' "$work/$name-info.out" ||
        fail "$name: --info: $(out "$name-info")"
    run_command "$name-verify" "$flashutil" --verify "$file"
    [ "$(rc "$name-verify")" = 10 ] || fail "$name: --verify exit $(rc "$name-verify"), want 10: $(err "$name-verify")"
    run_command "$name-run" "$file" --cli --yes --virtual-drive --trace "$work/$name.trace"
    [ "$(rc "$name-run")" = 6 ] || fail "$name: the run exits $(rc "$name-run"), want 6"
    grep -q "This utility is damaged: $file" "$work/$name-run.err" || fail "$name: $(err "$name-run")"
    [ ! -s "$work/$name.trace" ] || fail "$name: commands were sent"
done

# 3. A copy as earlier versions made it: seal version 1 and signature format 1, both over the
#    image's stored length alone, signed by the same trusted key; and one whose uncovered
#    bytes were then changed, which nothing can tell.
python3 - "$built" "$work/old.EXE" "$work/msg" "$work/vendor.key" "$work/old-changed.EXE" <<'PY' || fail "old copy not made"
import hashlib, struct, subprocess, sys
d = bytearray(open(sys.argv[1], 'rb').read())
k, s, v, g = (d.find(b'FLUTIL.' + n + b'\0') for n in (b'IDBLOCK', b'SEALBLK', b'VERSION', b'SIGNBLK'))
length, = struct.unpack_from('<I', d, k + 148)
image = d[k + 152:k + 152 + length]
d[s + 16:s + 20] = struct.pack('<I', 1)
d[s + 24:s + 56] = hashlib.sha256(image).digest()
d[g + 16:g + 20] = struct.pack('<I', 1)
open(sys.argv[3], 'wb').write(b'flashutil signed utility, format 1\0' + d[g + 24:g + 56] + d[k + 15:k + 152] + image +
                               b'\1' + d[s + 16:s + 3446] + b'\1' + d[v:v + 64])
d[g + 56:g + 120] = subprocess.run(['openssl', 'pkeyutl', '-sign', '-rawin', '-inkey', sys.argv[4], '-in', sys.argv[3]],
                                   check=True, capture_output=True).stdout
open(sys.argv[2], 'wb').write(d)
d[k + 152 + length + 100] ^= 0x5a
open(sys.argv[5], 'wb').write(d)
PY
chmod +x "$work/old.EXE" "$work/old-changed.EXE"
coverage="its seal and its signature cover only the first $length of the $sent bytes it sends to the drive"
for copy in old old-changed; do
    file="$work/$copy.EXE"
    # Under the policy: not signed over what it sends, refused before any drive command.
    run_command "$copy-policy" "$file" --cli --yes --virtual-drive --trace "$work/$copy-policy.trace"
    [ "$(rc "$copy-policy")" = 6 ] || fail "$copy under the policy: exit $(rc "$copy-policy"), want 6"
    grep -qF "it is not signed over every byte it sends ($coverage, as an earlier version signed)" \
        "$work/$copy-policy.err" || fail "$copy under the policy: $(err "$copy-policy")"
    [ ! -s "$work/$copy-policy.trace" ] || fail "$copy under the policy: commands were sent"
    run_command "$copy-verify-policy" "$flashutil" --verify "$file"
    [ "$(rc "$copy-verify-policy")" = 13 ] || fail "$copy: --verify under the policy: exit $(rc "$copy-verify-policy"), want 13"
    run_command "$copy-info" "$flashutil" --info "$file"
    for row in "Seal: *valid" "Signature: *signed by vendor (SHA256:[0-9a-f]*)"; do
        grep -qx "$row (made by an earlier version: it covers only the first $length of the $sent bytes sent)" \
            "$work/$copy-info.out" || fail "$copy: --info does not say what is covered: $(out "$copy-info")"
    done
    run_command "$copy-json" "$flashutil" --info --json "$file"
    python3 -c 'import json,sys; d=json.load(open(sys.argv[1])); assert d["seal_covers"] == d["signature"]["covers"] == int(sys.argv[2]), d' \
        "$work/$copy-json.out" "$length" || fail "$copy: --info --json: $(out "$copy-json")"
done
# Without the policy: it still flashes, and the run and --verify say what it covers.
rm "$etc/flashutil.conf"
run_command old-run "$work/old.EXE" --cli --yes --virtual-drive
[ "$(rc old-run)" = 0 ] || fail "old copy: exit $(rc old-run): $(err old-run)"
grep -qx 'Flash Completed.' "$work/old-run.out" || fail "old copy: not flashed"
grep -qF "was made by an earlier version: $coverage, so a change to the other bytes cannot be detected." \
    "$work/old-run.out" "$work/old-run.err" || fail "old copy: the run does not say what is covered: $(out old-run)"
run_command old-verify "$flashutil" --verify "$work/old.EXE"
[ "$(rc old-verify)" = 0 ] || fail "old copy: --verify exit $(rc old-verify)"
grep -qF "$coverage" "$work/old-verify.err" || fail "old copy: --verify does not say what is covered: $(err old-verify)"

exit $((failures > 0))
