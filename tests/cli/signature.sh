#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Signed utilities: --build --sign-key signs (a private key others can read is refused),
# --verify gives one code per reason, and the installed program flashes a utility given as a
# file, read as data: the same commands as the utility sends when run itself, also when the
# file lacks the execute bit or its program code is zeros; a broken signature is refused
# before any drive command. The history and the JSON stream name the file, its SHA-256 and
# the verdict. The user's trusted keys come from XDG_CONFIG_HOME here; the system's
# directory is tested by its own check against a test build (policy/system_policy.sh).
# Arguments: path-to-flashutil source-dir
source "$(dirname "$0")/lib/common.sh"
export XDG_CONFIG_HOME="$work/config"
keys="$XDG_CONFIG_HOME/flashutil/trusted-keys"
mkdir -p "$keys"

model_ini > "$work/flashutil.INI"
cp "$flashutil" "$work/flashutil"
head -c 524288 /dev/zero | tr '\0' '\125' > "$work/R120.BIN"
(umask 077 && openssl genpkey -algorithm ed25519 -out "$work/maker.key") || fail "openssl genpkey"
build() { (cd "$work" && ./flashutil --build --model 0 --image R120.BIN "$@"); }

# A key its group can read signs nothing, and nothing is written.
chmod 640 "$work/maker.key"
run_command loose build --sign-key "$work/maker.key"
[ "$(rc loose)" = 1 ] || fail "a group-readable key: exit $(rc loose), want 1"
grep -q "maker.key: permissions 0640 are too open" "$work/loose.err" || fail "loose key: $(err loose)"
[ ! -e "$work/R120.EXE" ] || fail "a copy was written with a group-readable key"
chmod 600 "$work/maker.key"

run_command unsigned-build build
mv "$work/R120.EXE" "$work/unsigned.EXE"
run_command signed-build build --sign-key "$work/maker.key"
[ "$(rc signed-build)" = 0 ] || fail "signed build: $(err signed-build)"
signed="$work/R120.EXE"
fingerprint="SHA256:$(openssl pkey -in "$work/maker.key" -pubout -outform DER | sha256sum | cut -d' ' -f1)"
grep -q "$fingerprint" "$work/signed-build.out" || fail "the build does not name the key: $(out signed-build)"

# A signed copy whose signature no longer matches (the seal cannot tell: it is not touched).
python3 - "$signed" "$work/broken.EXE" <<'PY'
import sys
d = bytearray(open(sys.argv[1], 'rb').read())
s = d.find(b'FLUTIL.SIGNBLK\0')
assert s >= 0 and d.find(b'FLUTIL.SIGNBLK\0', s + 1) < 0
d[s + 56] ^= 1
open(sys.argv[2], 'wb').write(d)
PY
chmod +x "$work/broken.EXE"

# --verify: NAME | file | trusted key installed | exit | words
openssl pkey -in "$work/maker.key" -pubout -out "$work/maker.pem"
cases=(
  "untrusted|$signed|no|12|signed by a key not trusted here ($fingerprint)"
  "trusted|$signed|yes|0|signed by maker ($fingerprint)"
  "unsigned|$work/unsigned.EXE|yes|11|not signed"
  "broken|$work/broken.EXE|yes|10|damaged: its signature does not match its contents"
  "blank|$work/flashutil|yes|11|not signed"
  "missing|$work/none.EXE|yes|1|No such file or directory"
)
for row in "${cases[@]}"; do
    IFS='|' read -r name file trusted want words <<< "$row"
    rm -f "$keys/maker.pem"
    [ "$trusted" = yes ] && cp "$work/maker.pem" "$keys/maker.pem"
    run_command "verify-$name" "$flashutil" --verify "$file"
    [ "$(rc "verify-$name")" = "$want" ] || fail "--verify $name: exit $(rc "verify-$name"), want $want"
    grep -qF -- "$words" "$work/verify-$name.out" "$work/verify-$name.err" ||
        fail "--verify $name: $(out "verify-$name") $(err "verify-$name")"
done
[ "$(wc -l < "$work/verify-trusted.out")" = 1 ] || fail "--verify says more than one line"

# --info and --info --json show the same verdict.
run_command info "$flashutil" --info "$signed"
grep -qx "Signature: *signed by maker ($fingerprint)" "$work/info.out" || fail "--info: $(out info)"
run_command info-json "$flashutil" --info --json "$work/broken.EXE"
python3 -c 'import json,sys; s=json.load(open(sys.argv[1]))["signature"]; assert s["verdict"]=="damaged" and s["fingerprint"]==sys.argv[2], s' \
    "$work/info-json.out" "$fingerprint" || fail "--info --json: $(out info-json)"

# The installed program flashes the utility as data: the commands the utility sends itself,
# from a copy without the execute bit and from one whose program code is zeros.
python3 - "$signed" "$work/zeroed.EXE" <<'PY'
import struct, sys
d = bytearray(open(sys.argv[1], 'rb').read())
shoff, = struct.unpack_from('<Q', d, 0x28)
shentsize, shnum, shstrndx = struct.unpack_from('<HHH', d, 0x3A)
def section(i):
    return struct.unpack_from('<IIQQQQ', d, shoff + i * shentsize)
names = section(shstrndx)[4]
for i in range(shnum):
    name, kind, flags, addr, offset, size = section(i)
    label = d[names + name:d.index(b'\0', names + name)]
    if label == b'.text':
        d[offset:offset + size] = bytes(size)
        break
else:
    sys.exit('no .text')
open(sys.argv[2], 'wb').write(d)
PY
cp "$signed" "$work/plain.EXE" && chmod -x "$work/plain.EXE" "$work/zeroed.EXE"
cp "$work/maker.pem" "$keys/maker.pem"
commands() { python3 -c 'import json,sys; [print(c["cdb"], c["len"]) for c in map(json.loads, open(sys.argv[1])) if "cdb" in c]' "$1"; }
run_command itself "$signed" --cli --yes --virtual-drive --trace "$work/itself.trace"
[ "$(rc itself)" = 0 ] || fail "the utility run itself: exit $(rc itself)"
for name in plain zeroed; do
    run_command "$name" "$flashutil" --cli --yes --virtual-drive --trace "$work/$name.trace" "$work/$name.EXE"
    [ "$(rc "$name")" = 0 ] || fail "$name: exit $(rc "$name"): $(err "$name")"
    grep -qx 'Flash Completed.' "$work/$name.out" || fail "$name: not completed"
    grep -qx 'Acme Flash Utility V1.048 forRW-5200' "$work/$name.out" || fail "$name: caption not from its block"
    [ "$(commands "$work/$name.trace")" = "$(commands "$work/itself.trace")" ] ||
        fail "$name: other commands than the utility sends itself"
done
grep -q "signed by maker ($fingerprint), a key you trust" "$work/plain.out" || fail "the run does not name the signer"
# The window's terminal stand-in (no display) takes the file too: the utility's own warning.
run_command window env -u DISPLAY -u WAYLAND_DISPLAY "$flashutil" --virtual-drive "$work/zeroed.EXE"
[ "$(rc window)" = 4 ] || fail "the window's stand-in: exit $(rc window), want 4 (nobody to ask)"
grep -q "This flash utility only supports Acme RW-5200 drive" "$work/window.out" || fail "window: $(out window)"

# A broken signature: refused before any drive command, exit 6, by the run and the installed program.
for how in itself installed; do
    if [ "$how" = itself ]; then run_command "broken-$how" "$work/broken.EXE" --cli --yes --virtual-drive --trace "$work/broken-$how.trace"
    else run_command "broken-$how" "$flashutil" --cli --yes --virtual-drive --trace "$work/broken-$how.trace" "$work/broken.EXE"; fi
    [ "$(rc "broken-$how")" = 6 ] || fail "broken ($how): exit $(rc "broken-$how"), want 6"
    grep -q "its signature does not match" "$work/broken-$how.err" || fail "broken ($how): $(err "broken-$how")"
    [ ! -s "$work/broken-$how.trace" ] || fail "broken ($how): commands were sent"
done
# Untrusted: a warning, and the run goes on.
rm "$keys/maker.pem"
run_command untrusted-run "$flashutil" --cli --yes --virtual-drive "$work/plain.EXE"
[ "$(rc untrusted-run)" = 0 ] || fail "untrusted run: exit $(rc untrusted-run)"
grep -q "signed by a key not trusted here ($fingerprint)" "$work/untrusted-run.out" || fail "no warning: $(out untrusted-run)"

# Records: the history names the file, its SHA-256 and the verdict; --history shows the signer;
# the JSON stream's run_started names them too.
sha=$(sha256sum < "$work/plain.EXE" | cut -d' ' -f1)
run_command history "$flashutil" --history
grep -qx "    file $work/plain.EXE, SHA-256 $sha, signed by maker ($fingerprint)" "$work/history.out" ||
    fail "--history: $(out history)"
run_command stream "$flashutil" --cli --json --yes --virtual-drive "$work/plain.EXE"
python3 - "$work/stream.out" "$work/plain.EXE" "$sha" "$fingerprint" <<'PY' || fail "JSON stream: $(head -c 600 "$work/stream.out")"
import json, sys
started = [e for e in map(json.loads, open(sys.argv[1])) if e["event"] == "run_started"][0]["utility"]
assert started["file"] == sys.argv[2] and started["file_sha256"] == sys.argv[3], started
assert started["signature"] == {"verdict": "untrusted", "signer": None, "fingerprint": sys.argv[4]}, started
PY

exit $((failures > 0))
