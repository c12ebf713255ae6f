#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# One verdict on a copy, whoever looks: --info, --extract-image and the run on the virtual
# drive agree on every changed copy in the table below. The areas are found where the loader
# takes the program from; bytes appended to the file change nothing, a key-word found twice or
# changed leaves it open which area runs, and a seal stripped from a sealing version's copy is
# damage, never an "earlier version".
# Arguments: path-to-flashutil source-dir
source "$(dirname "$0")/lib/common.sh"

model_ini > "$work/flashutil.INI"
build_copy R120.BIN
# A second copy of another image, whose areas a tamperer could append.
head -c 524288 /dev/zero | tr '\0' '\252' > "$work/R130.BIN"
(cd "$work" && ./flashutil --build --model 0 --image R130.BIN >> build.log 2>&1) || fail "second build"
built="$work/R120.EXE"

# copy_with NAME PYTHON: the built copy changed by PYTHON, which gets the file's bytes as d, the
# offsets of the identity block, seal and version areas as k, s, v, and the other copy as o.
copy_with() {
    python3 - "$built" "$work/$1" "$2" "$work/R130.EXE" <<'PY'
import sys
d = bytearray(open(sys.argv[1], 'rb').read())
o = open(sys.argv[4], 'rb').read()
words = [b'FLUTIL.' + n + b'\0' for n in (b'IDBLOCK', b'SEALBLK', b'VERSION')]
k, s, v = (d.find(w) for w in words)
assert min(k, s, v) >= 0
def areas(b):
    ok, os_, ov = (b.find(w) for w in words)
    return b[ok:ok + 524440] + b[os_:os_ + 3446] + b[ov:ov + 64]
exec(sys.argv[3])
open(sys.argv[2], 'wb').write(d)
PY
    chmod +x "$work/$1"
}

# NAME | change | --info seal ("error" when --info refuses the file) | the run's exit code
cases=(
  "intact|pass|valid|0"
  "appended-only|d += areas(o)|valid|0"
  "block-word-flipped|d[k + 3] ^= 1|error|6"
  "seal-word-flipped|d[s + 3] ^= 1|damaged|6"
  "all-words-flipped-and-appended|d[k + 3] ^= 1; d[s + 3] ^= 1; d[v + 3] ^= 1; d += areas(o)|error|6"
  "seal-word-copied|d[v + 20:v + 35] = words[1]|damaged|6"
  "seal-area-zeroed|d[s:s + 3446] = bytes(3446)|damaged|6"
  "seal-stripped|d[s + 20:s + 3446] = bytes(3426); d[k + 152 + 9] ^= 1|damaged|6"
  "renamed-but-signature-area-kept|d[s:s + 3446] = bytes(3446); d[v:v + 64] = bytes(64); d[:] = d.replace(b'flashutil_', b'xlashutil_')|damaged|6"
)
sha=$(sha256sum "$work/R120.BIN" | cut -d' ' -f1)
for row in "${cases[@]}"; do
    IFS='|' read -r name change seal exit <<< "$row"
    copy_with "$name.EXE" "$change"
    file="$work/$name.EXE"
    run_command "$name-info" "$flashutil" --info "$file"
    run_command "$name-extract" "$flashutil" --extract-image "$work/$name.img" "$file"
    run_command "$name-run" "$file" --cli --yes --virtual-drive --trace "$work/$name.trace"
    if [ "$seal" = error ]; then
        [ "$(rc "$name-info")" = 1 ] || fail "$name: --info exit $(rc "$name-info"), want 1"
        grep -q "$file: a damaged copy of flashutil" "$work/$name-info.err" || fail "$name: --info: $(err "$name-info")"
        [ "$(rc "$name-extract")" = 1 ] || fail "$name: --extract-image exit $(rc "$name-extract"), want 1"
        [ ! -e "$work/$name.img" ] || fail "$name: --extract-image wrote an image"
    else
        grep -q "^Seal: *$seal" "$work/$name-info.out" || fail "$name: --info seal not $seal: $(out "$name-info")"
        # What the copy carries where the loader takes it from: never the appended copy's image.
        [ "$name" = seal-stripped ] || grep -q "^Image SHA-256: *$sha" "$work/$name-info.out" ||
            fail "$name: --info shows another image"
        [ "$(rc "$name-extract")" = 0 ] || fail "$name: --extract-image exit $(rc "$name-extract")"
        if [ "$seal" = damaged ]; then
            grep -q "warning: $file is damaged" "$work/$name-extract.err" || fail "$name: --extract-image did not warn"
        else
            [ "$(sha256sum < "$work/$name.img" | cut -d' ' -f1)" = "$sha" ] || fail "$name: --extract-image wrote another image"
        fi
    fi
    [ "$(rc "$name-run")" = "$exit" ] || fail "$name: the run exits $(rc "$name-run"), want $exit"
    if [ "$exit" = 6 ]; then
        grep -q "This utility is damaged: $file" "$work/$name-run.err" || fail "$name: the run names no damage"
        [ ! -s "$work/$name.trace" ] || fail "$name: commands were sent"
    fi
done

# An old copy (no seal, version or signature area, areas not named): --info says so, and the
# image is written with the notice that nothing can be checked, under --quiet too.
copy_with old.EXE 'd[s:s + 3446] = bytes(3446); d[v:v + 64] = bytes(64); d[:] = d.replace(b"flashutil_", b"xlashutil_")
g = d.find(b"FLUTIL." + b"SIGNBLK\0"); assert g >= 0; d[g:g + 15] = bytes(15)'
run_command old-info "$flashutil" --info "$work/old.EXE"
grep -q '^Seal: *absent' "$work/old-info.out" || fail "old copy: $(out old-info) $(err old-info)"
run_command old-extract "$flashutil" --quiet --extract-image "$work/old.img" "$work/old.EXE"
[ "$(rc old-extract)" = 0 ] || fail "old copy: --extract-image exit $(rc old-extract)"
grep -q 'carries no checksum' "$work/old-extract.err" || fail "old copy: no notice under --quiet: $(err old-extract)"

# A copy padded with a sparse tail far past any program: --info (of it and by it) and --cli
# refuse it at once, naming the file and the limit, rather than hash it for minutes; --verify,
# whose verdict needs no hash of the file, gives it. (timeout only ends a run that hangs.)
cp "$built" "$work/padded.EXE"
truncate -s +64G "$work/padded.EXE"
limit="larger than 256 MiB, far more than any copy of flashutil"
run_command padded-info timeout 60 "$flashutil" --info "$work/padded.EXE"
run_command padded-own timeout 60 "$work/padded.EXE" --info
run_command padded-cli timeout 60 "$flashutil" --cli --yes --virtual-drive "$work/padded.EXE"
for name in padded-info padded-own padded-cli; do
    [ "$(rc $name)" = 1 ] || fail "$name: exit $(rc $name), want 1"
    grep -qF "$work/padded.EXE: $limit" "$work/$name.err" || fail "$name: $(err $name)"
done
run_command padded-verify timeout 60 "$flashutil" --verify "$work/padded.EXE"
run_command padded-own-verify timeout 60 "$work/padded.EXE" --verify
for name in padded-verify padded-own-verify; do
    [ "$(rc $name)" = 11 ] || fail "$name: exit $(rc $name), want 11 (not signed): $(err $name)"
done

exit $((failures > 0))
