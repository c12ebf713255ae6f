#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""Keeps the sources of the layers below app/ small enough to read, and the includes acyclic.

In the layers below app/ (the folders of their CMake libraries), no file has more than
MAX_FILE_LINES lines and no function body more than MAX_FUNCTION_LINES lines, counted from the
line of its opening brace to the line of its closing one; a lambda counts as part of the
function it is written in. Across the whole source tree no file reaches itself through
#include "..." lines. Each fault is printed as FILE:LINE: what; the exit code is 1 when there
is any.

Usage: sizes.py SOURCE_ROOT
"""

import os
import re
import sys

MAX_FILE_LINES = 400
MAX_FUNCTION_LINES = 80

# The folders of the layers below app/, each on its own: sim/tcmu is not one of them (it holds
# the kernel check's drive program, built with the tests, not a layer's library).
LAYER_DIRS = ["base", "platform", "platform/linux", "scsi", "areas", "trust", "model", "builder", "flash", "history", "sim", "session"]

# Files allowed over the limits for now, each with the reason. Every entry is a debt: the
# check fails once the file meets the limits again, so that the entry is taken out with it.
known_oversize = {}

SOURCE_SUFFIXES = (".cpp", ".h")


def blank_literals_and_comments(text):
    """The text with comments, string and character literals and preprocessor lines replaced
    by spaces, newlines kept, so that braces in them are not counted and lines keep their
    numbers."""
    out = []
    i, n = 0, len(text)
    at_line_start = True

    def blank(chunk):
        out.append(re.sub(r"[^\n]", " ", chunk))

    def blank_quoted(start, quote):
        """Blanks the literal opening at start (to its closing quote or the line's end); where
        the scan goes on."""
        j = start + 1
        while j < n and text[j] != quote and text[j] != "\n":
            j += 2 if text[j] == "\\" else 1
        blank(text[start:j + 1])
        return j + 1

    while i < n:
        c = text[i]
        if at_line_start and c == "#":
            # A preprocessor line, with its continuation lines; comments in it end it early
            # only in ways that do not matter here.
            j = i
            while j < n and text[j] != "\n":
                if text[j] == "\\" and j + 1 < n and text[j + 1] == "\n":
                    j += 2
                    continue
                j += 1
            blank(text[i:j])
            i = j
            continue
        if c == "\n":
            out.append(c)
            at_line_start = True
            i += 1
            continue
        if c in " \t\r\f\v":
            out.append(c)
            i += 1
            continue
        at_line_start = False
        if text.startswith("//", i):
            j = text.find("\n", i)
            j = n if j < 0 else j
            blank(text[i:j])
            i = j
            continue
        if text.startswith("/*", i):
            j = text.find("*/", i + 2)
            j = n if j < 0 else j + 2
            blank(text[i:j])
            i = j
            continue
        if c == '"':
            # A raw string: R"delim( ... )delim", with any prefix (u8R, LR ...).
            m = re.search(r"(?:u8|u|U|L)?R$", text[max(0, i - 3):i])
            if m and not re.match(r"[A-Za-z0-9_]", text[i - len(m.group(0)) - 1: i - len(m.group(0))] or " "):
                k = text.find("(", i)
                delim = text[i + 1:k]
                end = text.find(")" + delim + '"', k)
                j = n if end < 0 else end + len(delim) + 2
                blank(text[i:j])
                i = j
                continue
            i = blank_quoted(i, '"')
            continue
        if c == "'":
            # A digit separator (1'000, 0xFF'FF) is inside a number; a character literal is not.
            k = i
            while k > 0 and re.match(r"[A-Za-z0-9_.']", text[k - 1]):
                k -= 1
            if k < i and text[k].isdigit():
                out.append(c)
                i += 1
                continue
            i = blank_quoted(i, "'")
            continue
        out.append(c)
        i += 1
    return "".join(out)


def matching_brace(code, open_at):
    depth = 0
    for k in range(open_at, len(code)):
        if code[k] == "{":
            depth += 1
        elif code[k] == "}":
            depth -= 1
            if depth == 0:
                return k
    return len(code) - 1


def without_template_heads(statement):
    """The statement without its template<...> heads, whose "class" names no class."""
    out, i = [], 0
    while True:
        m = re.search(r"\btemplate\s*<", statement[i:])
        if not m:
            out.append(statement[i:])
            return "".join(out)
        out.append(statement[i:i + m.start()])
        k, depth = i + m.end(), 1
        while k < len(statement) and depth:
            depth += {"<": 1, ">": -1}.get(statement[k], 0)
            k += 1
        i = k


def outside_parentheses(statement):
    out, depth = [], 0
    for ch in statement:
        if ch == "(":
            depth += 1
        elif ch == ")":
            depth -= 1
        elif depth == 0:
            out.append(ch)
    return "".join(out)


QUALIFIERS = r"(?:\s*(?:const|volatile|noexcept|override|final|mutable|&&|&|\[\[[^\]]*\]\]))*"
FUNCTION_HEAD = re.compile(r"\)" + QUALIFIERS + r"\s*$")
TRAILING_RETURN = re.compile(r"\)" + QUALIFIERS + r"\s*->")
LAMBDA_HEAD = re.compile(r"\]" + r"(?:\s*mutable)?\s*$")
MEMBER_INITIALIZERS = re.compile(r"\)" + QUALIFIERS + r"\s*(?:noexcept\s*\([^)]*\))?\s*:(?!:)")
CONTAINER = re.compile(r"\b(?:namespace|class|struct|union|enum)\b|^\s*extern\b")
ACCESS = re.compile(r"^\s*(?:(?:public|private|protected)\s*:(?!:)\s*)+")


def classify(statement):
    """What a brace opens after STATEMENT (the text since the last ; { or } at this scope):
    "function", "initializers" (a constructor's list, whose braces come before the body),
    "container" (namespace, class ...) or "value" (a braced initializer)."""
    statement = ACCESS.sub("", statement)
    if FUNCTION_HEAD.search(statement) or TRAILING_RETURN.search(statement) or LAMBDA_HEAD.search(statement):
        return "function"
    if MEMBER_INITIALIZERS.search(statement):
        return "initializers"
    if re.search(r"\brequires\b", statement) and "(" in statement:
        return "function"
    if CONTAINER.search(outside_parentheses(without_template_heads(statement))):
        return "container"
    return "value"


def long_functions(code):
    """(line of the head, lines of the body) of every function in CODE longer than the limit."""
    found = []
    line_at = [0] * (len(code) + 1)
    line = 1
    for k, ch in enumerate(code):
        line_at[k] = line
        if ch == "\n":
            line += 1
    line_at[len(code)] = line

    statement_start = 0
    k = 0
    while k < len(code):
        ch = code[k]
        if ch in ";}":
            statement_start = k + 1
        elif ch == "{":
            kind = classify(code[statement_start:k])
            if kind == "container":
                statement_start = k + 1
            elif kind == "function":
                end = matching_brace(code, k)
                lines = line_at[end] - line_at[k] + 1
                if lines > MAX_FUNCTION_LINES:
                    head = statement_start + (len(code[statement_start:k]) - len(code[statement_start:k].lstrip()))
                    found.append((line_at[head], lines))
                k = end
                statement_start = k + 1
            else:
                # A braced value or a member's initializer: skipped whole, the statement goes on.
                k = matching_brace(code, k)
        k += 1
    return found


def size_faults(root):
    faults, exempt_seen = [], set()
    for folder in LAYER_DIRS:
        path = os.path.join(root, folder)
        if not os.path.isdir(path):
            continue
        for name in sorted(os.listdir(path)):
            if not name.endswith(SOURCE_SUFFIXES):
                continue
            relative = f"{folder}/{name}"
            with open(os.path.join(path, name), encoding="utf-8") as f:
                text = f.read()
            problems = []
            lines = text.count("\n") + (0 if text.endswith("\n") or not text else 1)
            if lines > MAX_FILE_LINES:
                problems.append(f"{relative}:{lines}: file has {lines} lines, over {MAX_FILE_LINES}")
            for head, length in long_functions(blank_literals_and_comments(text)):
                problems.append(f"{relative}:{head}: function body has {length} lines, over {MAX_FUNCTION_LINES}")
            if relative in known_oversize:
                exempt_seen.add(relative)
                if not problems:
                    faults.append(f"{relative}:1: meets the limits now; take it out of known_oversize")
                continue
            faults.extend(problems)
    for relative in sorted(set(known_oversize) - exempt_seen):
        faults.append(f"{relative}:1: in known_oversize but not found")
    return faults


INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"', re.MULTILINE)


def project_sources(root):
    for folder, dirs, files in os.walk(root):
        dirs[:] = sorted(d for d in dirs if not d.startswith(".") and not d.startswith("build"))
        for name in sorted(files):
            if name.endswith(SOURCE_SUFFIXES):
                yield os.path.relpath(os.path.join(folder, name), root)


def include_cycles(root):
    """Every circle of #include "..." among the tree's files, each once, as a list of files."""
    files = set(project_sources(root))
    graph = {}
    for relative in sorted(files):
        with open(os.path.join(root, relative), encoding="utf-8") as f:
            text = f.read()
        targets = []
        for m in INCLUDE.finditer(text):
            named = m.group(1)
            beside = os.path.normpath(os.path.join(os.path.dirname(relative), named))
            if named in files:
                targets.append(named)
            elif beside in files:
                targets.append(beside)
        graph[relative] = targets

    # Tarjan's strongly connected components: every component of more than one file, or a
    # file including itself, holds a circle; one circle of each is shown.
    index, low, on_stack, stack, components = {}, {}, set(), [], []

    def visit(v):
        index[v] = low[v] = len(index)
        stack.append(v)
        on_stack.add(v)
        for w in graph[v]:
            if w not in index:
                visit(w)
                low[v] = min(low[v], low[w])
            elif w in on_stack:
                low[v] = min(low[v], index[w])
        if low[v] == index[v]:
            component = []
            while True:
                w = stack.pop()
                on_stack.discard(w)
                component.append(w)
                if w == v:
                    break
            if len(component) > 1 or v in graph[v]:
                components.append(set(component))

    sys.setrecursionlimit(10000)
    for v in sorted(graph):
        if v not in index:
            visit(v)

    cycles = []
    for component in components:
        start = min(component)
        # A shortest way back to the start inside the component.
        previous, frontier, found = {start: None}, [start], None
        while frontier and found is None:
            following = []
            for v in frontier:
                for w in graph[v]:
                    if w == start:
                        found = v
                        break
                    if w in component and w not in previous:
                        previous[w] = v
                        following.append(w)
                if found is not None:
                    break
            frontier = following
        path, v = [], found
        while v is not None:
            path.append(v)
            v = previous[v]
        cycles.append(list(reversed(path)) + [start])
    return cycles


def main():
    if len(sys.argv) != 2:
        print(__doc__.strip().splitlines()[-1], file=sys.stderr)
        return 2
    root = sys.argv[1]
    faults = size_faults(root)
    for cycle in include_cycles(root):
        faults.append(f"{cycle[0]}:1: includes itself: " + " -> ".join(cycle))
    for fault in faults:
        print(fault)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
