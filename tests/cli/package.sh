#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The Debian package: built with CPack from the build directory the program lives in, its
# dependencies computed by dpkg-shlibdeps (Qt 6 and libc must appear without anyone typing
# them), the package unpacked into a scratch root, and the unpacked program run from there.
# The host system is not modified. (desktop_entries.sh validates the desktop files.)
# Usage: package.sh <path-to-flashutil> <source-dir>
set -euo pipefail

flashutil=$1
source_dir=$2
build_dir=$(cd "$(dirname "$flashutil")" && pwd)

fail() { echo "FAIL: $*" >&2; exit 1; }

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

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
         usr/share/man/man1/flashutil.1.gz \
         usr/share/doc/flashutil/copyright \
         usr/share/doc/flashutil/changelog.gz \
         usr/share/bash-completion/completions/flashutil \
         usr/share/applications/io.github.flashutil.flashutil.desktop \
         usr/share/applications/io.github.flashutil.flashutil.builder.desktop \
         usr/share/icons/hicolor/scalable/apps/flashutil.svg \
         usr/share/mime/packages/io.github.flashutil.flashutil.xml \
         usr/share/metainfo/io.github.flashutil.flashutil.metainfo.xml \
         usr/share/flashutil/schema/flashutil-list-1.json \
         usr/share/flashutil/schema/flashutil-event-1.json \
         usr/share/ansible/collections/ansible_collections/flashutil/drives/galaxy.yml \
         usr/share/ansible/collections/ansible_collections/flashutil/drives/plugins/modules/flashutil_flash.py \
         usr/share/ansible/collections/ansible_collections/flashutil/drives/plugins/modules/flashutil_facts.py \
         usr/share/ansible/collections/ansible_collections/flashutil/drives/roles/flashutil/tasks/main.yml \
         usr/share/flashutil/ansible/roles/flashutil/tasks/main.yml \
         usr/share/doc/flashutil/examples/ansible/tower.yml \
         usr/share/doc/flashutil/examples/ansible/catalogue.yml; do
    [ -f "$root/$f" ] || fail "package lacks /$f"
done
[ -x "$root/usr/bin/flashutil" ] || fail "/usr/bin/flashutil is not executable"
# The role's earlier place keeps its directories, each file a link to the collection's.
[ "$(readlink "$root/usr/share/flashutil/ansible/roles/flashutil/tasks/main.yml")" = \
    ../../../../../ansible/collections/ansible_collections/flashutil/drives/roles/flashutil/tasks/main.yml ] ||
    fail "/usr/share/flashutil/ansible/roles/flashutil/tasks/main.yml is not the link to the collection's"
# Ansible finds the collection where it is installed without being told: that place is on
# its default collections path, and ansible-doc reads both modules and the role there.
if command -v ansible-doc >/dev/null; then
    HOME=$scratch ansible-config dump 2>/dev/null | grep '^COLLECTIONS_PATHS(default)' | grep -qF "'/usr/share/ansible/collections'" ||
        fail "/usr/share/ansible/collections is not on Ansible's default collections path"
    for plugin in "module flashutil.drives.flashutil_flash" "module flashutil.drives.flashutil_facts" "role flashutil.drives.flashutil"; do
        HOME=$scratch ANSIBLE_COLLECTIONS_PATH="$root/usr/share/ansible/collections" ansible-doc -t $plugin >/dev/null 2>&1 ||
            fail "ansible-doc does not find $plugin in the package"
    done
fi
for po in "$source_dir"/po/*.po; do
    language=$(basename "$po" .po)
    [ -f "$root/usr/share/locale/$language/LC_MESSAGES/flashutil.mo" ] || fail "package lacks the $language catalogue"
done
# Every published schema, as in the sources.
for schema in "$source_dir"/docs/schema/*.json; do
    cmp -s "$schema" "$root/usr/share/flashutil/schema/${schema##*/}" || fail "package lacks or changes ${schema##*/}"
done
# The AppStream file names the desktop entry the package installs, under the same id.
metainfo="$root/usr/share/metainfo/io.github.flashutil.flashutil.metainfo.xml"
grep -q '<id>io.github.flashutil.flashutil</id>' "$metainfo" || fail "the AppStream id is not the desktop entry's"
grep -q '<launchable type="desktop-id">io.github.flashutil.flashutil.desktop</launchable>' "$metainfo" ||
    fail "the AppStream file launches another desktop entry"
grep -q '<project_license>Apache-2.0</project_license>' "$metainfo" || fail "the AppStream file names no licence"
if grep -q 'example\.org' "$metainfo"; then fail "the AppStream file has example.org addresses"; fi
for shot in $(sed -n 's|.*<image>https://[^<]*/main/\(docs/screenshots/[^<]*\)</image>.*|\1|p' "$metainfo"); do
    [ -f "$source_dir/$shot" ] || fail "the AppStream screenshot $shot is not in the repository"
done
if [ -f "$source_dir/examples/flashutil.INI" ]; then
    [ -f "$root/usr/share/doc/flashutil/examples/flashutil.INI" ] ||
        fail "package lacks the example INI"
fi
if dpkg-deb -c "$deb" | grep -q 'test_\|/bench'; then
    fail "test or benchmark programs ended up in the package"
fi

# The manual page and the changelog compressed reproducibly, and the same text as the sources.
zcmp -s "$root/usr/share/man/man1/flashutil.1.gz" "$source_dir/docs/flashutil.1" || fail "the packaged manual page differs"
zcmp -s "$root/usr/share/doc/flashutil/changelog.gz" "$source_dir/packaging/changelog" || fail "the packaged changelog differs"
for gz in usr/share/man/man1/flashutil.1.gz usr/share/doc/flashutil/changelog.gz; do
    # Bytes 4 to 7 of the gzip header: the time stamp, zero when compressed with -n.
    [ "$(od -An -tx1 -j4 -N4 "$root/$gz" | tr -d ' ')" = 00000000 ] || fail "/$gz carries a time stamp"
done
# The program built hardened: PIE, read-only relocations bound at start, stack protector, fortified calls.
readelf -h "$root/usr/bin/flashutil" | grep -c 'Type:.*DYN' >/dev/null || fail "the program is not position-independent"
readelf -lW "$root/usr/bin/flashutil" | grep -c GNU_RELRO >/dev/null || fail "the program has no RELRO segment"
readelf -dW "$root/usr/bin/flashutil" | grep -Ec 'BIND_NOW|FLAGS.*NOW' >/dev/null || fail "the program is not bound at start (BINDNOW)"
symbols=$(readelf --dyn-syms -W "$root/usr/bin/flashutil")  # whole, so grep -q breaks no pipe
grep -q '__stack_chk_fail' <<<"$symbols" || fail "the program has no stack protector"
grep -q '__[a-z]*_chk@' <<<"$symbols" || fail "the program calls no fortified functions"
[ "$(dpkg-parsechangelog -l "$source_dir/packaging/changelog" -S Version)" = "$(dpkg-deb -f "$deb" Version)" ] ||
    fail "the changelog's version is not the package's"

# --- lintian: no error and no warning, pedantic checks included ----------------------------
if command -v lintian >/dev/null; then
    allow_root=()
    [ "$(id -u)" = 0 ] && allow_root=(--allow-root)
    lintian "${allow_root[@]}" -EvIL +pedantic "$deb" >"$scratch/lintian.log" 2>&1
    grep -E '^[EW]: ' "$scratch/lintian.log" && fail "lintian reports errors or warnings (above)"
    grep -E '^[IPX]: ' "$scratch/lintian.log" || true
else
    fail "lintian not installed (scripts/install-deps.sh installs it)"
fi

# --- Run the unpacked program -------------------------------------------------------------
installed="$root/usr/bin/flashutil"
version=$("$installed" --version) || fail "installed flashutil --version failed"
grep -q '1\.0\.4\.8' <<<"$version" || fail "--version lacks 1.0.4.8: $version"
grep -q 'Flash utility for CD-RW drive' <<<"$version" || fail "--version lacks the description"
grep -q 'Apache-2.0' <<<"$version" || fail "--version names no licence"

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
# --- Purge removes the package's state -----------------------------------------------------
# Installed into a scratch dpkg database and root (dpkg --root), so the host is untouched.
dpkg-deb -I "$deb" postrm >/dev/null || fail "the package has no postrm script"
inst="$scratch/inst"
mkdir -p "$inst/var/lib/dpkg/updates" "$inst/var/lib/dpkg/info"
touch "$inst/var/lib/dpkg/status" "$inst/var/lib/dpkg/available"
# The maintainer scripts run without chroot, with DPKG_ROOT naming the scratch root.
run_dpkg() { dpkg --root="$inst" --force-not-root --force-bad-path --force-depends --force-script-chrootless "$@"; }
if grep -q script-chrootless <<<"$(dpkg --force-help 2>&1)"; then
    run_dpkg --install "$deb" >"$scratch/dpkg.log" 2>&1 || { cat "$scratch/dpkg.log" >&2; fail "dpkg --install failed"; }
    [ -x "$inst/usr/bin/flashutil" ] || fail "dpkg --install did not place /usr/bin/flashutil"
    # What a run as root leaves behind: the history of runs.
    mkdir -p "$inst/var/lib/flashutil"
    echo '{}' >"$inst/var/lib/flashutil/history.jsonl"
    run_dpkg --purge flashutil >>"$scratch/dpkg.log" 2>&1 || { cat "$scratch/dpkg.log" >&2; fail "dpkg --purge failed"; }
    left=$(cd "$inst" && find . -path ./var/lib/dpkg -prune -o ! -type d -print)
    [ -z "$left" ] || fail "purge left files behind: $left"
    [ ! -e "$inst/var/lib/flashutil" ] || fail "purge left /var/lib/flashutil"
    ! grep -q '^Package: flashutil$' "$inst/var/lib/dpkg/status" || fail "the purged package is still known to dpkg"
else
    fail "dpkg cannot install into a scratch root here"
fi
echo "package OK"
