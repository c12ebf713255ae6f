#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# A terminal of 80 columns, as a person meets it: the program runs under a pseudo terminal of
# that width and what it writes is played on a small screen that wraps as a terminal does.
# No line drawn in place (a bar, a drive's line) may be wider than the terminal, so none
# wraps, and every redraw lands in place (messages, printed once, wrap as text does): a single
# drive's bar and commit wait, every drive's line of --all (also after the window is made
# narrower during the commit), in English, German and Chinese.
# Arguments: path-to-flashutil source-dir
source "$(dirname "$0")/lib/common.sh"
model_ini > "$work/flashutil.INI"
build_copy R120.BIN
built="$work/R120.EXE"
ln -s "$(cd "$(dirname "$flashutil")" && pwd)/locale" "$work/locale"

cat > "$work/screen.py" << 'EOF'
# screen.py COLUMNS [NARROWER] -- COMMAND...: runs COMMAND under a pseudo terminal of COLUMNS
# (made NARROWER once the commit's wait is shown) and plays its output on a screen. Prints
# the final screen; exits 1 when a line drawn in place was wider than the terminal at the
# time or a redraw did not land in place, 2 when COMMAND failed.
import fcntl, os, pty, re, signal, struct, sys, termios, unicodedata

args = sys.argv[1:]
split = args.index("--")
columns = int(args[0])
narrower = int(args[1]) if split > 1 else None
command = args[split + 1:]

def set_size(fd, width):
    fcntl.ioctl(fd, termios.TIOCSWINSZ, struct.pack("HHHH", 50, width, 0, 0))

pid, master = pty.fork()
if pid == 0:
    os.execvp(command[0], command)
set_size(master, columns)
output = b""
resized_at = None
while True:
    try:
        chunk = os.read(master, 65536)
    except OSError:
        break
    if not chunk:
        break
    output += chunk
    if narrower and resized_at is None and b"waiting for the drive" in output:
        # The program is stopped while the terminal changes, and what it wrote before is
        # read first: a slow reader would otherwise take blocks drawn for the old width,
        # already waiting in the terminal, for blocks drawn after the resize.
        os.kill(pid, signal.SIGSTOP)
        os.waitpid(pid, os.WUNTRACED)
        os.set_blocking(master, False)
        try:
            while chunk := os.read(master, 65536):
                output += chunk
        except (BlockingIOError, OSError):
            pass
        os.set_blocking(master, True)
        set_size(master, narrower)  # the program asks at each redraw; SIGWINCH goes out too
        resized_at = len(output)
        os.kill(pid, signal.SIGCONT)
_, status = os.waitpid(pid, 0)

text = output.decode("utf-8", "replace")
cut = None
if resized_at:
    # The terminal is narrower from the second block redrawn after the resize: the
    # program may have been stopped between asking the width and writing the first.
    # A program that never asks again still fails: every later block is checked.
    begun = len(output[:resized_at].decode("utf-8", "replace"))
    redraws = [m.start() for m in re.finditer(r"\x1b\[\d+A", text) if m.start() >= begun]
    if len(redraws) < 2:
        print("no block was redrawn after the terminal was made narrower", file=sys.stderr)
        sys.exit(1)
    cut = redraws[1]
width = columns
rows = [[]]
row = col = 0
continued = set()  # rows that hold what a wider line wrapped onto
problems = []
redrawing = False  # the line was begun again with a carriage return: a redraw

def cell_width(ch):
    if unicodedata.combining(ch):
        return 0
    return 2 if unicodedata.east_asian_width(ch) in "WF" else 1

def shown(r):
    return "".join(rows[r]) if r < len(rows) else ""

i = 0
while i < len(text):
    if cut is not None and i == cut:
        width = narrower
        rows = [r[:width] for r in rows]  # the terminal keeps what fits of each line
        col = min(col, width - 1)
    ch = text[i]
    i += 1
    if ch == "\x1b" and i < len(text) and text[i] == "[":
        j = i + 1
        while j < len(text) and not text[j].isalpha():
            j += 1
        params, final = text[i + 1:j], text[j] if j < len(text) else ""
        i = j + 1
        n = int(params) if params.isdigit() else (1 if final == "A" else 0)
        if final == "A":
            # Up over a block to draw it again: it lands in place only if none of its lines wrapped.
            if any(r in continued for r in range(row - n, row + 1)):
                problems.append("a block redrawn over a wrapped line: " + shown(row - n))
            row = max(0, row - n)
        elif final == "K":
            del rows[row][col:]
        elif final == "J":
            del rows[row][col:]
            del rows[row + 1:]
            for r in list(continued):
                if r > row:
                    continued.discard(r)
        continue
    if ch == "\r":
        # (The terminal sends a line end as "\r\n": that carriage return redraws nothing.)
        if col > 0 and row in continued and text[i:i + 1] != "\n":
            problems.append("a line redrawn after it wrapped: " + shown(row - 1))
        col = 0
        redrawing = True
    elif ch == "\n":
        row += 1
        redrawing = False
        while len(rows) <= row:
            rows.append([])
        continued.discard(row)
    elif ch == "\b":
        col = max(0, col - 1)
    elif ch >= " ":
        w = cell_width(ch)
        if col + w > width:
            # A message may be longer than the terminal and wrap; a line drawn in place may not.
            line = shown(row)
            if redrawing or "%" in line:
                problems.append(f"a progress line wider than {width} columns: {line}")
            row += 1
            col = 0
            while len(rows) <= row:
                rows.append([])
            rows[row] = []
            continued.add(row)
        while len(rows[row]) < col:
            rows[row].append(" ")
        rows[row][col:col + 1] = [ch] + [""] * (w - 1)
        col += w

for r in rows:
    print("".join(r).rstrip())
for problem in problems:
    print(problem, file=sys.stderr)
sys.exit(1 if problems else os.waitstatus_to_exitcode(status) and 2)
EOF

# screen NAME COLUMNS [NARROWER] -- COMMAND...: the final screen in NAME.screen, the lines
# that were too wide in NAME.err, the raw output kept by the script.
screen() {
    local name=$1; shift
    python3 "$work/screen.py" "$@" > "$work/$name.screen" 2> "$work/$name.err"
    echo $? > "$work/$name.rc"
}

# 1. One drive, with a commit the drive takes seconds to answer: the wait goes on the bar's
#    line, which stays one line wide at 80 columns (English and German).
for language in C de; do
    screen single-$language 80 -- env LANG=de_DE.UTF-8 LANGUAGE=$language LC_ALL= \
        "$built" --cli --yes --virtual-drive=commit-ms=2600
    case $(rc single-$language) in
    0) ;;
    1) fail "$language, one drive at 80 columns: lines wider than the terminal: $(head -3 "$work/single-$language.err")" ;;
    *) fail "$language, one drive: the run failed: $(tail -5 "$work/single-$language.screen")" ;;
    esac
    grep -Eq '^\[#+\] 100%$' "$work/single-$language.screen" ||
        fail "$language, one drive: the bar is not drawn again in place after the wait: $(tail -5 "$work/single-$language.screen")"
    grep -q 'waiting\|Warten\|warten' "$work/single-$language.screen" &&
        fail "$language, one drive: the wait is left on the screen: $(grep -i 'wait\|wart' "$work/single-$language.screen")"
done

# 2. Three drives at once at 80 and 100 columns, at 80 made 60 during the commit, and in
#    Chinese (two columns a character) at 80: each
#    drive's line stays one line, so the block is redrawn in place and at the end each drive
#    is on the screen twice, its line and its row of the table, and nothing else is left.
for run in "80 C" "100 C" "80 60 C" "80 zh_CN"; do
    language=${run##* }
    size=${run% *}
    name=all-${size// /-}-$language
    # shellcheck disable=SC2086
    screen "$name" $size -- env LANG=de_DE.UTF-8 LANGUAGE=$language LC_ALL= \
        "$built" --cli --yes --all --virtual-drive=count=3,commit-ms=2600
    case $(rc "$name") in
    0) ;;
    1) fail "--all at $size columns: lines wider than the terminal: $(head -3 "$work/$name.err")" ;;
    *) fail "--all at $size columns: the run failed: $(tail -5 "$work/$name.screen")" ;;
    esac
    for device in virtual:0 virtual:1 virtual:2; do
        count=$(grep -c "^$device " "$work/$name.screen")
        [ "$count" = 2 ] || fail "--all at $size columns: $device on $count lines, want 2 (redrawn in place): $(grep "^$device " "$work/$name.screen" | head -5)"
    done
    grep -q 'waiting for the drive\|正在等待' "$work/$name.screen" && fail "--all at $size columns: a wait is left on the screen"
done

[ "$failures" = 0 ] && echo "all terminal width checks passed"
exit $((failures > 0))
