#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The flash window through AT-SPI, as a screen reader follows it (lib/screen_reader.py says
# what is checked), on a session bus of its own with the accessibility bus of at-spi2-core and
# a fresh Xvfb. Skipped (77), saying why, only where the accessibility bus cannot be started.
source "$(dirname "$0")/lib/common.sh"

skip() { echo "SKIP: $*; the window's accessibility is not checked"; exit 77; }
# Debian's own Python: python3-pyatspi is installed for it, whatever python3 comes first.
python=/usr/bin/python3
launcher=/usr/libexec/at-spi-bus-launcher
[ -x "$launcher" ] || skip "at-spi2-core is not installed ($launcher is missing)"
"$python" -c 'import pyatspi' 2> /dev/null || skip "python3-pyatspi is not installed"
command -v dbus-run-session > /dev/null || skip "dbus-run-session is missing (package dbus-bin)"
command -v Xvfb > /dev/null || { fail "Xvfb is missing (package xvfb)"; exit 1; }

model_ini > "$work/flashutil.INI"
build_copy QF10.BIN

export launcher python work checks="$(cd "$(dirname "$0")" && pwd)/lib/screen_reader.py"
dbus-run-session -- bash -c '
    "$launcher" --launch-immediately > "$work/launcher.log" 2>&1 &
    bus=$!
    for _ in $(seq 50); do
        dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress \
            > "$work/bus.txt" 2>&1 && break
        sleep 0.1
    done
    grep -q "unix:" "$work/bus.txt" || { cat "$work/bus.txt" "$work/launcher.log"; kill $bus; exit 77; }
    # A display of its own: Xvfb takes a free number and says which.
    Xvfb -displayfd 3 -nolisten tcp 3> "$work/display.txt" > "$work/xvfb.log" 2>&1 &
    xvfb=$!
    for _ in $(seq 100); do [ -s "$work/display.txt" ] && break; sleep 0.1; done
    [ -s "$work/display.txt" ] || { echo "FAIL: Xvfb did not start: $(cat "$work/xvfb.log")"; kill $bus $xvfb; exit 1; }
    cd "$work" && env -u WAYLAND_DISPLAY DISPLAY=":$(cat display.txt)" "$python" "$checks" ./QF10.EXE --virtual-drive
    code=$?
    kill $xvfb $bus 2> /dev/null
    exit $code' > "$work/reader.out" 2>&1
code=$?
grep -v "fd limit\|^dbus-daemon\[\|SpiRegistry daemon\|XDG_RUNTIME_DIR" "$work/reader.out"
[ "$code" = 77 ] && skip "the accessibility bus did not start"
[ "$code" = 0 ] || fail "the window as a screen reader meets it (exit $code)"

[ "$failures" = 0 ] && echo "all screen reader checks passed"
exit $((failures > 0))
