#!/usr/bin/env bash
# The Debian package: built with CPack from the build directory the program lives in, its
# dependencies computed by dpkg-shlibdeps (Qt 6 and libc must appear without anyone typing
# them), the package unpacked into a scratch root, and the unpacked program run from there.
# The host system is not modified. The desktop entry and the AppStream file are checked with
# their validators where those are installed.
# Usage: package.sh <path-to-flashutil> <source-dir>
set -euo pipefail

flashutil=$1
source_dir=$2
build_dir=$(cd "$(dirname "$flashutil")" && pwd)

fail() { echo "FAIL: $*" >&2; exit 1; }

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# --- Desktop entry and AppStream metadata -------------------------------------------------
if command -v desktop-file-validate >/dev/null; then
    out=$(desktop-file-validate "$source_dir/data/flashutil.desktop" 2>&1) ||
        fail "desktop-file-validate: $out"
    [ -z "$out" ] || fail "desktop-file-validate has remarks: $out"
else
    echo "desktop-file-validate not installed; desktop entry not validated"
fi
if command -v appstreamcli >/dev/null; then
    appstreamcli validate --no-net "$source_dir/data/flashutil.metainfo.xml" ||
        fail "appstreamcli rejects data/flashutil.metainfo.xml"
else
    echo "appstreamcli not installed; AppStream file not validated"
fi

# --- Build the package --------------------------------------------------------------------
command -v dpkg-shlibdeps >/dev/null || fail "dpkg-shlibdeps missing (install dpkg-dev)"
[ -f "$build_dir/CPackConfig.cmake" ] || fail "no CPackConfig.cmake in $build_dir"
(cd "$build_dir" && cpack -G DEB --config CPackConfig.cmake -B "$scratch/out") \
    >"$scratch/cpack.log" 2>&1 || { cat "$scratch/cpack.log" >&2; fail "cpack failed"; }

shopt -s nullglob
debs=("$scratch"/out/flashutil_*.deb)
[ ${#debs[@]} -eq 1 ] || fail "expected one flashutil_*.deb, found: ${debs[*]:-none}"
deb=${debs[0]}
echo "built $(basename "$deb")"

[ "$(dpkg-deb -f "$deb" Package)" = flashutil ] || fail "package name"
[ "$(dpkg-deb -f "$deb" Version)" = 1.0.4.8 ] || fail "package version"
[ "$(dpkg-deb -f "$deb" Section)" = utils ] || fail "package section"
[ "$(dpkg-deb -f "$deb" Architecture)" = "$(dpkg --print-architecture)" ] || fail "architecture"
description=$(dpkg-deb -f "$deb" Description)
[ "$(head -1 <<<"$description")" = "Flash utility for CD-RW drive" ] || fail "Description synopsis"
[ "$(grep -c 'Flash utility for CD-RW drive' <<<"$description")" = 1 ] ||
    fail "Description repeats its synopsis"

# The dependencies come from dpkg-shlibdeps; nothing in the project names these packages.
# Every library the program needs (its ELF NEEDED entries) must be covered by a package in
# Depends: libc always, Qt 6 wherever the window is linked in.
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
grep -Eq '(^|, )libc6 \(>= ' <<<"$depends" || fail "Depends lacks a versioned libc6"
# Whether Depends names the package (alternatives "a | b" count too).
depends_on() {
    tr ',|' '\n\n' <<<"$depends" | awk '{ print $1 }' | grep -Fxq -- "$1"
}
needed=$(objdump -p "$flashutil" | awk '$1 == "NEEDED" { print $2 }')
libraries=$(ldd "$flashutil")
[ -n "$needed" ] || fail "objdump shows no NEEDED libraries"
for lib in $needed; do
    # "libx.so.1 => /path/libx.so.1 (...)", or for the dynamic loader "/path/ld-....so.2 (...)".
    path=$(awk -v lib="$lib" '($1 == lib && $2 == "=>") { print $3; exit }
                              (substr($1, length($1) - length(lib)) == "/" lib) { print $1; exit }' <<<"$libraries")
    [ -n "$path" ] || fail "ldd does not resolve $lib"
    # The file may be known to dpkg under its symlink's name or under the real one.
    owner=$( { dpkg -S "$path" || dpkg -S "$(readlink -f "$path")"; } 2>/dev/null |
             head -1 | cut -d: -f1 || true)
    [ -n "$owner" ] || fail "no package owns $path"
    depends_on "$owner" || fail "Depends lacks $owner (for $lib)"
    echo "  $lib -> $owner"
done
if grep -q 'libQt6Widgets' <<<"$needed"; then
    grep -q 'libqt6widgets6' <<<"$depends" || fail "Depends lacks the Qt 6 Widgets library"
elif grep -q '^FLASHUTIL_BUILD_GUI:BOOL=ON' "$build_dir/CMakeCache.txt"; then
    echo "NOTE: built with the window, but the program does not link Qt yet"
fi
if grep -rq 'PACKAGE_DEPENDS\|libqt6\|libc6' "$source_dir/cmake"; then
    fail "the package's dependencies are typed by hand in cmake/"
fi

# --- Its contents ---------------------------------------------------------------------------
root="$scratch/root"
dpkg-deb -x "$deb" "$root"
for f in usr/bin/flashutil \
         usr/share/man/man1/flashutil.1 \
         usr/share/applications/flashutil.desktop \
         usr/share/icons/hicolor/scalable/apps/flashutil.svg \
         usr/share/metainfo/org.example.flashutil.metainfo.xml; do
    [ -f "$root/$f" ] || fail "package lacks /$f"
done
[ -x "$root/usr/bin/flashutil" ] || fail "/usr/bin/flashutil is not executable"
if [ -f "$source_dir/examples/flashutil.INI" ]; then
    [ -f "$root/usr/share/doc/flashutil/examples/flashutil.INI" ] ||
        fail "package lacks the example INI"
fi
if dpkg-deb -c "$deb" | grep -q 'test_\|/bench'; then
    fail "test or benchmark programs ended up in the package"
fi

# --- Run the unpacked program -------------------------------------------------------------
installed="$root/usr/bin/flashutil"
version=$("$installed" --version) || fail "installed flashutil --version failed"
grep -q '1\.0\.4\.8' <<<"$version" || fail "--version lacks 1.0.4.8: $version"
grep -q 'Flash utility for CD-RW drive' <<<"$version" || fail "--version lacks the description"

# The listing of the virtual drive needs the virtual back-end; where the build's own program
# cannot list it yet, the installed one is not asked to.
if expected=$("$flashutil" --list --virtual-drive 2>/dev/null) && [ -n "$expected" ]; then
    listing=$("$installed" --list --virtual-drive) || fail "installed --list --virtual-drive failed"
    [ "$listing" = "$expected" ] ||
        fail "installed program lists differently: '$listing' vs '$expected'"
    grep -qi virtual <<<"$listing" || fail "listing does not mark the drive as virtual"
else
    echo "SKIPPED: --list --virtual-drive does not work in the build's own program yet"
fi
echo "package OK"
