#!/usr/bin/env python3
"""Lists long source files and long functions among the C and C++ files in git.

A report, not a gate: it prints files over FILE_LIMIT lines and function bodies over FUNC_LIMIT
lines, longest first, and always exits 0. Functions are found with a plain brace heuristic:
comments, strings and character literals are blanked, then every `{` whose preceding text ends
in a parameter list `)` (optionally followed by const, noexcept, override, a trailing return
type or a constructor's initialiser list) opens a function body, provided it opens at namespace
or class scope. Lambdas and blocks inside a function count towards the function that holds them.
A function's length runs from the line of its name to the line of its closing brace.

Usage: long_units.py [--func N] [--file N] [PATH_PREFIX ...]
"""
import argparse
import re
import subprocess
import sys

FILE_LIMIT = 700
FUNC_LIMIT = 80
CONTROL = {"if", "for", "while", "switch", "catch", "return", "sizeof", "decltype", "alignof"}
NAME_BEFORE_PAREN = re.compile(r"([A-Za-z_~][\w:~<>,\s*&=!+\-\[\]()]*?)\s*\($")


def blank(text):
    """Returns text with comments, strings and char literals replaced by spaces (newlines kept)."""
    out = []
    i, n = 0, len(text)
    while i < n:
        c = text[i]
        if text.startswith("//", i):
            j = text.find("\n", i)
            j = n if j < 0 else j
            out.append(" " * (j - i))
            i = j
        elif text.startswith("/*", i):
            j = text.find("*/", i + 2)
            j = n if j < 0 else j + 2
            out.append(re.sub(r"[^\n]", " ", text[i:j]))
            i = j
        elif c == "R" and text.startswith('R"', i) and (i == 0 or not (text[i - 1].isalnum() or text[i - 1] == "_")):
            m = re.match(r'R"([^(\s]*)\(', text[i:])
            if not m:
                out.append(c)
                i += 1
                continue
            end = ")" + m.group(1) + '"'
            j = text.find(end, i + m.end())
            j = n if j < 0 else j + len(end)
            out.append(re.sub(r"[^\n]", " ", text[i:j]))
            i = j
        elif c in "\"'":
            if c == "'" and i > 0 and text[i - 1].isalnum() and i + 1 < n and text[i + 1].isalnum():
                out.append(" ")  # digit separator such as 1'000
                i += 1
                continue
            j = i + 1
            while j < n and text[j] != c and text[j] != "\n":
                j += 2 if text[j] == "\\" else 1
            j = min(j + 1, n)
            out.append(" " * (j - i))
            i = j
        elif c == "#" and (i == 0 or text[i - 1] == "\n" or text[:i].rstrip(" \t").endswith("\n")):
            # preprocessor line, with continuations
            j = i
            while True:
                k = text.find("\n", j)
                if k < 0:
                    k = n
                    break
                if text[k - 1] == "\\":
                    j = k + 1
                    continue
                break
            out.append(re.sub(r"[^\n]", " ", text[i:k]))
            i = k
        else:
            out.append(c)
            i += 1
    return "".join(out)


def matching_paren_start(s, close):
    """Index of the `(` matching the `)` at close, or -1."""
    depth = 0
    for k in range(close, -1, -1):
        if s[k] == ")":
            depth += 1
        elif s[k] == "(":
            depth -= 1
            if depth == 0:
                return k
    return -1


def function_head(s, brace):
    """If the `{` at brace opens a function body, returns the index where its name starts."""
    head = s[max(0, brace - 2000):brace]
    base = brace - len(head)
    # Strip a constructor initialiser list: `) : a_(x), b_{y} {`
    t = head.rstrip()
    # trailing qualifiers and trailing return types
    while True:
        t2 = re.sub(r"(const|noexcept|override|final|mutable|volatile|&&|&)\s*$", "", t).rstrip()
        t2 = re.sub(r"->\s*[\w:<>,\s*&]+$", "", t2).rstrip()
        t2 = re.sub(r"noexcept\s*\([^()]*\)\s*$", "", t2).rstrip()
        if t2 == t:
            break
        t = t2
    if not t.endswith(")"):
        # initialiser list ending in `}` or `)` after a colon
        m = re.search(r"\)\s*(const\s*)?(noexcept\s*)?:\s*[\w:]+\s*[({][^;]*$", t)
        if not m:
            return -1
        t = t[: m.start() + 1]
    close = len(t) - 1
    while True:
        open_ = matching_paren_start(t, close)
        if open_ < 0:
            return -1
        before = t[:open_].rstrip()
        m = re.search(r"([A-Za-z_~][\w]*(?:\s*::\s*~?[A-Za-z_]\w*)*(?:\s*<[^<>;{}]*>)?|operator\s*\S+)$", before)
        if not m:
            return -1
        word = re.split(r"\W+", m.group(1).strip())[-1] if m.group(1) else ""
        if word in CONTROL:
            return -1
        # a constructor initialiser like `: a_(x), b_(y)` - walk back to the parameter list
        pre = before[: m.start()].rstrip()
        if pre.endswith(",") or (pre.endswith(":") and not pre.endswith("::")):
            k = len(pre) - 1
            while k >= 0 and pre[k] != ")":
                if pre[k] in ";{}":
                    return -1
                k -= 1
            if k < 0:
                return -1
            t = pre[: k + 1]
            close = k
            continue
        if pre.endswith("=") or pre.endswith("return") or pre.endswith("(") or pre.endswith(","):
            return -1
        if pre.endswith("]"):  # lambda
            return -1
        return base + m.start()


def functions(text):
    """Yields (name, first_line, last_line) for function bodies at namespace or class scope."""
    s = blank(text)
    line_of = []
    line = 1
    for ch in s:
        line_of.append(line)
        if ch == "\n":
            line += 1
    stack = []  # kinds of open braces: 'scope' (namespace/class/extern) or 'func' or 'block'
    func_start = None
    for i, ch in enumerate(s):
        if ch == "{":
            in_func = any(k == "func" for k, _ in stack)
            if in_func:
                stack.append(("block", None))
                continue
            start = function_head(s, i)
            if start >= 0:
                name = re.match(r"[\w:~<>, ]*|operator\s*\S+", s[start:]).group(0).strip()
                stack.append(("func", (name, line_of[start])))
            else:
                stack.append(("scope", None))
        elif ch == "}":
            if not stack:
                continue
            kind, info = stack.pop()
            if kind == "func":
                yield info[0], info[1], line_of[i]
    del func_start


def git_files(root, prefixes):
    out = subprocess.run(["git", "-C", root, "ls-files", "*.cpp", "*.h", "*.c"],
                         capture_output=True, text=True, check=True).stdout.split()
    if prefixes:
        out = [f for f in out if any(f.startswith(p) for p in prefixes)]
    return sorted(out)


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--func", type=int, default=FUNC_LIMIT, help="longest function allowed")
    ap.add_argument("--file", type=int, default=FILE_LIMIT, help="longest file allowed")
    ap.add_argument("--root", default=".", help="the repository")
    ap.add_argument("prefixes", nargs="*", help="report only paths starting with these")
    args = ap.parse_args()
    long_files, long_funcs = [], []
    for path in git_files(args.root, args.prefixes):
        with open(f"{args.root}/{path}", encoding="utf-8", errors="replace") as f:
            text = f.read()
        lines = text.count("\n") + (0 if text.endswith("\n") or not text else 1)
        if lines > args.file:
            long_files.append((lines, path))
        for name, first, last in functions(text):
            length = last - first + 1
            if length > args.func:
                long_funcs.append((length, path, first, name))
    print(f"files over {args.file} lines: {len(long_files)}")
    for lines, path in sorted(long_files, reverse=True):
        print(f"  {lines:5d}  {path}")
    print(f"functions over {args.func} lines: {len(long_funcs)}")
    for length, path, first, name in sorted(long_funcs, reverse=True):
        print(f"  {length:5d}  {path}:{first}  {name}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
