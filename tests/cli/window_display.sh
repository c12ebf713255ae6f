#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The window and the display. Where the display named does not answer, a built copy runs the
# terminal flash instead and a blank copy says which display could not be reached (or that
# there is none) and fails; never an abort. Where it answers, the desktop shows exactly the program's caption.
source "$(dirname "$0")/lib/common.sh"

model_ini > "$work/flashutil.INI"
build_copy QF10.BIN
nowhere=":$((4000 + RANDOM % 1000))"
while [ -e "/tmp/.X11-unix/X${nowhere#:}" ]; do nowhere=":$((${nowhere#:} + 1))"; done

# No display at all: a blank copy says first that it is one, and how to build without a window.
run_command nodisplay env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u XDG_SESSION_TYPE "$work/flashutil"
[ "$(rc nodisplay)" = 1 ] || fail "blank copy, no display: exit $(rc nodisplay), want 1"
head -1 "$work/nodisplay.err" | grep -q "^flashutil: this is a blank copy: .*--build --model N --image FILE" ||
    fail "blank copy, no display: not said first: $(err nodisplay)"
grep -q "terminal flash instead" "$work/nodisplay.err" && fail "blank copy, no display: offers the terminal flash"

# One run per display: an X display that points nowhere, and a bogus Wayland display.
without=(-u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u XDG_SESSION_TYPE)
for display in "DISPLAY=$nowhere" "WAYLAND_DISPLAY=bogus-$$"; do
    run_command blank env "${without[@]}" "$display" "$work/flashutil"
    [ "$(rc blank)" = 1 ] || fail "blank copy, $display: exit $(rc blank), want 1"
    grep -q "no display could be reached ($display" "$work/blank.err" || fail "blank copy, $display: $(err blank)"

    # The built copy's terminal flash, answered on a terminal: Yes, Yes, then No to the restart.
    printf 'y\ny\nn\n' | env "${without[@]}" "$display" \
        script -qec "'$work/QF10.EXE' --virtual-drive" /dev/null > "$work/built.out" 2>&1
    code=$?
    [ "$code" = 0 ] || fail "built copy, $display: exit $code, want 0"
    grep -q "no display could be reached ($display.*); running the terminal flash instead" "$work/built.out" ||
        fail "built copy, $display: no word of the display"
    grep -q "Flash Completed." "$work/built.out" || fail "built copy, $display: the terminal flash did not complete"
done

# The builder's window under Xvfb: its caption as the desktop reads it (_NET_WM_NAME).
if command -v xvfb-run > /dev/null && command -v xprop > /dev/null; then
    export work
    (cd "$work" && env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM xvfb-run -a bash -c '
        ./flashutil > window.out 2>&1 &
        for _ in $(seq 100); do
            id=$(xwininfo -root -tree | awk "/Flash Utility/ {print \$1; exit}")
            [ -n "$id" ] && break
            sleep 0.2
        done
        [ -n "$id" ] && xprop -id "$id" _NET_WM_NAME > caption.txt
        kill $!; wait $!') 2> /dev/null
    caption='_NET_WM_NAME(UTF8_STRING) = " Flash Utility V1.048 for1.00-1.10 [Buiding]"'
    [ "$(cat "$work/caption.txt" 2> /dev/null)" = "$caption" ] ||
        fail "the desktop's caption: $(cat "$work/caption.txt" "$work/window.out" 2> /dev/null)"
fi

[ "$failures" = 0 ] && echo "all window display checks passed"
exit $((failures > 0))
