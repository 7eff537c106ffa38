#!/usr/bin/env python3
"""Lists the mutable variables that live at namespace scope in editor/ and output/.

    scripts/mutable_globals.py [ROOT]

Reads every .cpp and .h under ROOT/editor and ROOT/output with a small parser (comments,
strings and preprocessor lines are dropped; braces are followed to tell a namespace from a
class, an enum, a function body or an initialiser) and prints each namespace-scope variable that
is not const, constexpr or a reference to const, as "path:line: name". Function-local `static`
variables that are not const are printed afterwards under "singletons:"; they are objects that
live as long as the program and are worth knowing about, but they are not counted.

Exits 1 when any namespace-scope mutable variable exists, 0 otherwise.
"""

import os
import re
import sys

FOLDERS = ("editor", "output")
SUFFIXES = (".cpp", ".h")

# Statements at namespace scope that never declare a variable.
NOT_A_VARIABLE = re.compile(
    r"^(using|typedef|template|friend|static_assert|namespace|class|struct|union|enum|"
    r"extern\s+\"C\"|return|operator)\b")
QUALIFIER_CONST = re.compile(r"\b(const|constexpr|constinit\s+const)\b")


def strip_source(text):
    """Blanks comments, string and character literals and preprocessor lines, keeping newlines
    so that offsets map to the original line numbers."""
    out = []
    i, n = 0, len(text)
    at_line_start = True
    while i < n:
        c = text[i]
        if at_line_start and c == "#":
            # A preprocessor line, with its continuations.
            while i < n and text[i] != "\n":
                if text[i] == "\\" and i + 1 < n and text[i + 1] == "\n":
                    out.append(" \n")
                    i += 2
                    continue
                out.append(" ")
                i += 1
            continue
        if c == "\n":
            out.append(c)
            at_line_start = True
            i += 1
            continue
        if c in " \t":
            out.append(c)
            i += 1
            continue
        at_line_start = False
        if text.startswith("//", i):
            while i < n and text[i] != "\n":
                out.append(" ")
                i += 1
            continue
        if text.startswith("/*", i):
            end = text.find("*/", i + 2)
            end = n if end < 0 else end + 2
            out.append("".join("\n" if ch == "\n" else " " for ch in text[i:end]))
            i = end
            continue
        raw = re.match(r'R"([^(\s]*)\(', text[i:i + 20])
        if raw:
            close = ")" + raw.group(1) + '"'
            end = text.find(close, i + raw.end())
            end = n if end < 0 else end + len(close)
            out.append('"' + "".join("\n" if ch == "\n" else " " for ch in text[i + 1:end - 1]) + '"')
            i = end
            continue
        if c in "\"'":
            # A digit separator (1'000) is not a character literal.
            if c == "'" and i > 0 and text[i - 1].isalnum() and i + 1 < n and text[i + 1].isalnum():
                out.append(" ")
                i += 1
                continue
            j = i + 1
            while j < n and text[j] != c and text[j] != "\n":
                j += 2 if text[j] == "\\" else 1
            out.append(c + " " * (min(j, n) - i - 1) + c)
            i = j + 1
            continue
        out.append(c)
        i += 1
    return "".join(out)


# A parameter: a type and a name, a type ending in & or *, or a built-in type or qualifier.
PARAMETER = re.compile(r"[\w:>\]]\s*[\s*&]+\s*[A-Za-z_]\w*\s*(=.*)?$|[&*]$|^(void|int|char|bool|"
                       r"float|double|long|short|unsigned|signed|auto|const|volatile)\b")


def constructed_variable(head):
    """`T name(args)` whose arguments are values (not parameters) declares a variable: returns
    the text `T name` then, else None (a function's declaration)."""
    m = re.match(r"^(.*?\b[A-Za-z_]\w*)\s*\((.*)\)\s*$", head)
    if not m or not m.group(2).strip():
        return None
    before = m.group(1)
    if re.match(r"^(void|auto)\b", before) or "(" in before:
        return None
    depth, part, parts = 0, "", []
    for ch in m.group(2):
        if ch in "(<[":
            depth += 1
        elif ch in ")>]":
            depth -= 1
        if ch == "," and depth == 0:
            parts.append(part)
            part = ""
        else:
            part += ch
    parts.append(part)
    if any(PARAMETER.search(p.strip()) for p in parts):
        return None
    return before


def declared_name(statement):
    """The variable a statement declares, or None when it declares none."""
    s = " ".join(statement.split())
    typed = re.match(r"^(const\s+)?(class|struct|union|enum)\b.*\}\s*([^{}]*)$", s)
    if typed:
        # `struct S { ... } s;` declares s unless the type is const.
        if typed.group(1) or not typed.group(3).strip():
            return None
        m = re.match(r"^\**\s*([A-Za-z_]\w*)", typed.group(3).strip())
        return m.group(1) if m else None
    if not s or NOT_A_VARIABLE.match(s):
        return None
    s = re.sub(r"^(extern|static|inline|thread_local|\[\[[^\]]*\]\])\s+", "", s)
    s = re.sub(r"^(extern|static|inline|thread_local)\s+", "", s)
    # Cut the initialiser: what follows the first '=' or a '{' that begins one.
    head = re.split(r"=|\{", s, maxsplit=1)[0].strip()
    if not head:
        return None
    # A declaration whose head has parentheses is a function (or a function pointer, which the
    # next test catches by its '(*').
    if "(" in head:
        constructed = constructed_variable(head)
        if constructed is not None:
            head = constructed
    if "(" in head:
        fn_ptr = re.search(r"\(\s*\*\s*([A-Za-z_]\w*)\s*\)\s*\(", head)
        if fn_ptr and not QUALIFIER_CONST.search(head.split("(")[0] + "".join(
                re.findall(r"\*\s*const", head))):
            return fn_ptr.group(1)
        return None  # a function's declaration
    m = re.search(r"([A-Za-z_]\w*)\s*(\[[^\]]*\])*\s*$", head)
    if not m:
        return None
    before = head[:m.start()].strip()
    if not before:
        return None  # a lone word: a macro call's remains, not a declaration
    if re.search(r"\bconstexpr\b", before):
        return None
    if QUALIFIER_CONST.search(before):
        # `const T* p` is a mutable pointer to const; `T* const p` and `const T x` are not.
        if re.search(r"\*\s*$", before) and not re.search(r"\*\s*const\s*$", before):
            pass
        else:
            return None
    if re.search(r"&\s*$", before) and "const" in before:
        return None
    return m.group(1)


def _kinds(stack):
    return [k for k, _, _ in stack]


def scan(path, text):
    """Returns (globals, singletons) as lists of (line, name)."""
    src = strip_source(text)
    found, singletons = [], []
    # Each open brace pushes the kind of scope it opens.
    stack = []
    statement_start = 0
    i, n = 0, len(src)

    def line_of(pos):
        return src.count("\n", 0, pos) + 1

    def at_namespace():
        return all(k == "namespace" for k in _kinds(stack))

    def in_function():
        return "function" in _kinds(stack)

    while i < n:
        c = src[i]
        if c == "{":
            head = " ".join(src[statement_start:i].split())
            if re.search(r"\bnamespace\b[^;()]*$", head) or re.match(r'^extern\s+"\s*"$', head):
                kind = "namespace"
            elif re.search(r"\b(class|struct|union|enum)\b[^;()=]*$", head):
                kind = "type"
            elif head.endswith(")") or re.search(r"\)\s*(const|noexcept|override|final|"
                                                r"mutable|->\s*[\w:<>*&\s]+)*\s*$", head):
                kind = "function"
            elif re.search(r"(=|\breturn\b|,|\(|\[|\{)\s*$", head) or (
                    head and not at_namespace() and in_function()):
                kind = "init"
            elif at_namespace() and head:
                kind = "init"  # `T name{...}` at namespace scope
            else:
                kind = "block"
            stack.append((kind, statement_start, head))
            i += 1
            if kind in ("namespace", "type", "function", "block"):
                statement_start = i
            continue
        if c == "}":
            if stack:
                kind, start, _ = stack.pop()
                if kind == "init":
                    i += 1
                    continue  # the statement goes on to its ';'
                if kind == "type" or kind == "block":
                    # `struct X {...} x;` and `enum {...};`: the statement runs on to ';'
                    if kind == "type":
                        statement_start = start
                        i += 1
                        continue
            i += 1
            statement_start = i
            continue
        if c == ";":
            statement = src[statement_start:i]
            kinds = _kinds(stack)
            if all(k == "namespace" for k in kinds):
                name = declared_name(statement)
                if name:
                    found.append((line_of(statement_start + len(statement) - len(statement.lstrip())),
                                  name))
            elif "function" in kinds and kinds[-1] in ("function", "block"):
                s = " ".join(statement.split())
                m = re.match(r"^static\s+(?!const\b|constexpr\b|_assert|_cast)(.*)$", s)
                if m and not re.search(r"\bconst\b", m.group(1).split("=")[0].split("{")[0]
                                       .rsplit(" ", 1)[0]):
                    name = declared_name(m.group(1))
                    if name:
                        singletons.append((line_of(statement_start + len(statement)
                                                   - len(statement.lstrip())), name))
            i += 1
            statement_start = i
            continue
        i += 1
    return found, singletons


def main():
    root = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else
                           os.path.join(os.path.dirname(__file__), ".."))
    found, singletons = [], []
    for folder in FOLDERS:
        for base, dirs, files in os.walk(os.path.join(root, folder)):
            dirs.sort()
            for name in sorted(files):
                if not name.endswith(SUFFIXES):
                    continue
                path = os.path.join(base, name)
                rel = os.path.relpath(path, root)
                with open(path, encoding="utf-8", errors="replace") as f:
                    g, s = scan(rel, f.read())
                found += [(rel, line, var) for line, var in g]
                singletons += [(rel, line, var) for line, var in s]
    for rel, line, var in found:
        print(f"{rel}:{line}: {var}")
    print(f"mutable namespace-scope variables in {' and '.join(FOLDERS)}: {len(found)}")
    if singletons:
        print("singletons (function-local statics that are not const):")
        for rel, line, var in singletons:
            print(f"  {rel}:{line}: {var}")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
