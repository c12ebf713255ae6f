#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The administrator's directory of trusted keys and the policy RequireSignature=yes, checked
# with a test build whose system configuration directory lies in the build tree. Under the
# policy, unsigned copies, copies signed by an untrusted key and copies signed by a key only
# the user trusts are refused before any drive command in every mode (the utility run
# itself, --cli FILE, --cli --all, the window's terminal fallback), in a folder of utilities
# they are skipped for it, and --verify says so;
# a key in the system's directory is trusted. Without the policy an unsigned copy runs. A
# policy file that can't be read as written requires signatures; trusted keys and their
# directories that others can write trust nobody.
# Arguments: path-to-test-build source-dir its-system-configuration-directory
source "$(dirname "$0")/../lib/common.sh"
etc=$3
rm -rf "$etc" && mkdir -p "$etc/trusted-keys" || { echo "FAIL: no $etc"; exit 1; }
export XDG_CONFIG_HOME="$work/config"
mkdir -p "$XDG_CONFIG_HOME/flashutil/trusted-keys"
# Trusted only as long as nobody but their owner can change them, whatever the umask.
chmod 755 "$etc" "$etc/trusted-keys" "$XDG_CONFIG_HOME/flashutil/trusted-keys"

model_ini > "$work/flashutil.INI"
cp "$flashutil" "$work/flashutil"
head -c 524288 /dev/zero | tr '\0' '\125' > "$work/R120.BIN"
for key in vendor user; do
    (umask 077 && openssl genpkey -algorithm ed25519 -out "$work/$key.key") || fail "openssl genpkey"
done
openssl pkey -in "$work/vendor.key" -pubout -out "$etc/trusted-keys/vendor.pem"
openssl pkey -in "$work/user.key" -pubout -out "$XDG_CONFIG_HOME/flashutil/trusted-keys/user.pem"
for copy in unsigned vendor user; do
    sign=()
    [ "$copy" = unsigned ] || sign=(--sign-key "$work/$copy.key")
    (cd "$work" && ./flashutil --build --model 0 --image R120.BIN "${sign[@]}" >> build.log 2>&1) || fail "build $copy"
    mv "$work/R120.EXE" "$work/$copy.EXE"
done
echo 'RequireSignature=yes' > "$etc/flashutil.conf"

# COPY | how it is run | exit | words
cases=(
  "unsigned|itself|6|it is not signed; the system's policy requires"
  "unsigned|file|6|it is not signed"
  "unsigned|all|6|it is not signed"
  "unsigned|window|6|it is not signed"
  "user|itself|6|a key only this user trusts"
  "user|file|6|a key only this user trusts"
  "vendor|itself|0|signed by vendor"
  "vendor|file|0|signed by vendor"
)
for row in "${cases[@]}"; do
    IFS='|' read -r copy how want words <<< "$row"
    name="$copy-$how"
    file="$work/$copy.EXE"
    case $how in
    itself) run_command "$name" "$file" --cli --yes --virtual-drive --trace "$work/$name.trace" ;;
    file) run_command "$name" "$flashutil" --cli --yes --virtual-drive --trace "$work/$name.trace" "$file" ;;
    all) run_command "$name" "$file" --cli --all --yes --virtual-drive --trace "$work/$name.trace" ;;
    window) run_command "$name" env -u DISPLAY -u WAYLAND_DISPLAY "$file" --virtual-drive --trace "$work/$name.trace" ;;
    esac
    [ "$(rc "$name")" = "$want" ] || fail "$name: exit $(rc "$name"), want $want: $(err "$name")"
    grep -qF -- "$words" "$work/$name.out" "$work/$name.err" || fail "$name: $(out "$name") $(err "$name")"
    [ "$want" = 0 ] || [ ! -s "$work/$name.trace" ] || fail "$name: commands were sent"
    # A refusal has its one line on standard error, naming the file and the cause.
    [ "$want" = 0 ] || grep -qE "^flashutil: .*$copy\.EXE: refused by the signature policy: .*; nothing was sent to any drive$" \
        "$work/$name.err" || fail "$name: no refusal line on standard error: $(err "$name")"
done
# A folder of all three: only the copy a system key signed is a candidate; the others are
# skipped with the policy's reason, and the drive gets the signed one.
mkdir "$work/folder" && cp "$work/unsigned.EXE" "$work/user.EXE" "$work/vendor.EXE" "$work/folder/"
run_command folder "$flashutil" --cli --all --yes -v --virtual-drive "$work/folder"
[ "$(rc folder)" = 0 ] || fail "folder: exit $(rc folder), want 0: $(err folder)"
grep -qF "with vendor.EXE, signed by vendor (" "$work/folder.out" || fail "folder: the drive does not get vendor.EXE: $(out folder)"
for copy in unsigned user; do
    grep -qF "$work/folder/$copy.EXE: skipped: refused by the signature policy: " "$work/folder.err" ||
        fail "folder: $copy.EXE is not skipped by the policy: $(err folder)"
done
# Options and the environment can't weaken it: no variable or option names another policy.
run_command weaken env XDG_CONFIG_HOME=/nonexistent "$flashutil" --cli --yes --virtual-drive "$work/unsigned.EXE"
[ "$(rc weaken)" = 6 ] || fail "the policy was weakened: exit $(rc weaken)"

# --verify: under the policy, a key only the user trusts is a reason of its own.
for row in "vendor|0" "user|13" "unsigned|11"; do
    IFS='|' read -r copy want <<< "$row"
    run_command "verify-$copy" "$flashutil" --verify "$work/$copy.EXE"
    [ "$(rc "verify-$copy")" = "$want" ] || fail "--verify $copy: exit $(rc "verify-$copy"), want $want"
done

# A policy that can't be read as written requires signatures, naming the file and the line,
# and a copy the system trusts still runs, with the warning. Every spelling and file kind the
# reader refuses is its unit test's (SignaturePolicy.OnlyAnExplicitNoOrNoFileLeavesSignaturesOptional);
# here the whole program meets one bad value, one CRLF line end past a comment, and a FIFO
# (read without waiting for a writer).
conf=$etc/flashutil.conf
policies=(
  'RequireSignature=perhaps|:1: RequireSignature is'
  $'# no policy yet\nRequireSignature=no\r|:2: '
)
for row in "${policies[@]}" fifo; do
    rm -f "$conf"
    where=": "
    case $row in
    fifo) mkfifo "$conf" ;;
    *) printf '%s\n' "${row%|*}" > "$conf" && where=${row##*|} ;;
    esac
    name="policy-$(printf '%s' "${row%|*}" | tr -c 'A-Za-z' '_')"
    run_command "$name" "$flashutil" --cli --yes --virtual-drive --trace "$work/$name.trace" "$work/unsigned.EXE"
    [ "$(rc "$name")" = 6 ] || fail "policy '${row%|*}': exit $(rc "$name"), want 6"
    grep -qF -- "$conf$where" "$work/$name.err" || fail "policy '${row%|*}': the file is not named: $(err "$name")"
    [ ! -s "$work/$name.trace" ] || fail "policy '${row%|*}': commands were sent"
    run_command "$name-vendor" "$flashutil" --cli --yes --virtual-drive "$work/vendor.EXE"
    [ "$(rc "$name-vendor")" = 0 ] || fail "policy '${row%|*}': a copy the system trusts: exit $(rc "$name-vendor")"
    grep -qF -- "read as RequireSignature=yes: $conf$where" "$work/$name-vendor.out" ||
        fail "policy '${row%|*}': no warning for the copy the system trusts: $(out "$name-vendor")"
    run_command "$name-verify" "$flashutil" --verify "$work/vendor.EXE"
    [ "$(rc "$name-verify")" = 0 ] && grep -qF -- "read as RequireSignature=yes: $conf$where" "$work/$name-verify.err" ||
        fail "policy '${row%|*}': --verify: exit $(rc "$name-verify"): $(err "$name-verify")"
done
# Without one, unsigned copies run.
rm "$conf"
run_command free "$flashutil" --cli --yes --virtual-drive "$work/unsigned.EXE"
[ "$(rc free)" = 0 ] || fail "without a policy an unsigned copy is refused: $(err free)"

# A directory of trusted keys, or a key, that others can write trusts nobody, with a warning
# naming it: under the policy the system's copy is refused, and without it the user's copy
# is no longer trusted.
chmod 755 "$etc/trusted-keys" "$XDG_CONFIG_HOME/flashutil/trusted-keys"
chmod 644 "$etc/trusted-keys/vendor.pem" "$XDG_CONFIG_HOME/flashutil/trusted-keys/user.pem"
echo 'RequireSignature=yes' > "$conf"
for row in "$etc/trusted-keys|777" "$etc/trusted-keys|775" "$etc/trusted-keys/vendor.pem|666" "$etc/trusted-keys/vendor.pem|664"; do
    IFS='|' read -r path mode <<< "$row"
    before=$(stat -c %a "$path")
    chmod "$mode" "$path"
    name="planted-$mode"
    run_command "$name" "$work/vendor.EXE" --cli --yes --virtual-drive --trace "$work/$name.trace"
    [ "$(rc "$name")" = 6 ] || fail "system trust at $path $mode: exit $(rc "$name"), want 6"
    grep -qF "$path: writable by others" "$work/$name.out" || fail "system trust at $path $mode: no warning: $(out "$name")"
    [ ! -s "$work/$name.trace" ] || fail "system trust at $path $mode: commands were sent"
    run_command "$name-verify" "$flashutil" --verify "$work/vendor.EXE"
    [ "$(rc "$name-verify")" = 12 ] || fail "system trust at $path $mode: --verify exit $(rc "$name-verify"), want 12"
    chmod "$before" "$path"
done
rm "$conf"
user_keys=$XDG_CONFIG_HOME/flashutil/trusted-keys
for row in "$user_keys|777" "$user_keys/user.pem|666"; do
    IFS='|' read -r path mode <<< "$row"
    before=$(stat -c %a "$path")
    run_command "user-trusted-$mode" "$flashutil" --verify "$work/user.EXE"
    chmod "$mode" "$path"
    run_command "user-planted-$mode" "$flashutil" --verify "$work/user.EXE"
    chmod "$before" "$path"
    [ "$(rc "user-trusted-$mode")" = 0 ] || fail "the user's key: --verify exit $(rc "user-trusted-$mode")"
    [ "$(rc "user-planted-$mode")" = 12 ] || fail "user trust at $path $mode: --verify exit $(rc "user-planted-$mode"), want 12"
    grep -qF "$path: writable by others" "$work/user-planted-$mode.err" || fail "user trust at $path $mode: $(err "user-planted-$mode")"
done

rm -rf "$etc"
exit $((failures > 0))
