#!/usr/bin/env python3
"""Small source mutations for scripts/mutants.sh.

A mutant is defined by source text, not by line number, so that the same sample applies to
code that has changed around it: (file, snippet, occurrence, replacement), where snippet is
one whole source line without its indentation and occurrence counts the earlier places in
the file where the same text stands. A mutant whose snippet is no longer there is "gone".

  mutants.py generate SEED [PER_AREA...]  prints a sample (runtime=N command=N kernel=N)
  mutants.py apply FILE OCCURRENCE SNIPPET REPLACEMENT   exit 3 when the snippet is gone
"""
import pathlib
import random
import re
import sys

SOURCES = ("runtime", "command", "kernel")
SUFFIXES = (".cpp", ".h")

COMPARISONS = {" < ": " <= ", " <= ": " < ", " > ": " >= ", " >= ": " > ",
               " == ": " != ", " != ": " == ", " && ": " || ", " || ": " && "}
NUMBER = re.compile(r"(?<![\w.])(0[xX][0-9a-fA-F]+|\d+)([uUlL]*)(?![\w.'])")
STATEMENT = re.compile(
    r"^(?:(?:\+\+|--)[\w.\[\]>-]+|\*?[\w:]+(?:\[[^\]]*\]|\.\w+|->\w+)*\s*"
    r"(?:[-+*/%&|^]?=(?!=)|<<=|>>=|\+\+|--)|[\w:]+(?:\.|->)?[\w:]*\(|break|continue).*;$")
# Lines whose mutants could only fail to compile or change nothing: layout checks,
# deleted members and inline assembly.
SKIPPED = ("static_assert", "offsetof", "alignof", "alignas", "= delete", "= default", "asm")
KEYWORDS = ("return", "if", "for", "while", "case", "default", "static_assert", "using",
            "namespace", "typedef", "template", "goto")


def masked(line):
    """The line with the insides of string and character literals and any // comment
    blanked, so that no mutation lands in them; positions stay those of the line."""
    out, quote, i = [], None, 0
    while i < len(line):
        c = line[i]
        if quote:
            if c == "\\":
                out.append("  ")
                i += 2
                continue
            out.append(c if c == quote else " ")
            if c == quote:
                quote = None
        elif c in "\"'":
            quote = c
            out.append(c)
        elif line.startswith("//", i):
            out.append(" " * (len(line) - i))
            break
        else:
            out.append(c)
        i += 1
    return "".join(out)[:len(line)]


def closing_paren(text, start):
    depth = 0
    for i in range(start, len(text)):
        depth += {"(": 1, ")": -1}.get(text[i], 0)
        if depth == 0:
            return i
    return -1


def candidates(line, previous, rng):
    """(kind, mutated line) for every mutation this trimmed line offers."""
    m = masked(line)
    for op, to in COMPARISONS.items():
        for hit in re.finditer(re.escape(op), m):
            yield "flip", line[:hit.start()] + to + line[hit.end():]
    for hit in NUMBER.finditer(m):
        digits = hit.group(1)
        octal = len(digits) > 1 and digits[0] == "0" and digits[1] not in "xX"  # C's 0755; Python wants 0o755
        value = int(digits, 8 if octal else 0)
        value = value + 1 if value == 0 or rng.random() < 0.5 else value - 1
        text = hex(value) if digits[:2].lower() == "0x" else "0%o" % value if octal else str(value)
        yield "constant", line[:hit.start(1)] + text + line[hit.end(1):]
    for hit in re.finditer(r"\b(if|while) \(", m):
        open_at = hit.end() - 1
        close_at = closing_paren(m, open_at)
        if close_at > 0:
            condition = line[open_at + 1:close_at]
            yield "negate", line[:open_at + 1] + "!(" + condition + ")" + line[close_at:]
    first = re.match(r"[\w]+", m)
    if (STATEMENT.match(m.rstrip()) and not (first and first.group(0) in KEYWORDS)
            and previous.rstrip().endswith((";", "{", "}", ")", ":", "else"))):
        yield "drop", ";"


def source_files(root):
    for top in SOURCES:
        for path in sorted((root / top).rglob("*")):
            if path.suffix in SUFFIXES and path.is_file():
                yield path


def all_mutants(root, rng):
    for path in source_files(root):
        rel = path.relative_to(root).as_posix()
        text = path.read_text()
        offset, previous, in_comment = 0, "", False
        for raw in text.split("\n"):
            line = raw.strip()
            start = offset + len(raw) - len(raw.lstrip())
            offset += len(raw) + 1
            if in_comment:
                in_comment = "*/" not in line
                continue
            if line.startswith("/*"):
                in_comment = "*/" not in line
                continue
            if not line or line.startswith(("//", "#")) or any(w in line for w in SKIPPED):
                continue
            occurrence = count_before(text, line, start)
            for kind, mutated in candidates(line, previous, rng):
                yield rel, kind, occurrence, line, mutated
            previous = masked(line).rstrip() or previous


def count_before(text, snippet, position):
    count, at = 0, text.find(snippet)
    while 0 <= at < position:
        count += 1
        at = text.find(snippet, at + 1)
    return count


def generate(seed, quotas):
    root = pathlib.Path(__file__).resolve().parent.parent
    rng = random.Random(seed)
    pool = list(all_mutants(root, rng))
    print(f"# scripts/mutants.py generate {seed} " + " ".join(f"{a}={n}" for a, n in quotas.items()))
    print("# id\tkind\tfile\toccurrence\tsnippet\treplacement")
    number = 0
    for area, quota in quotas.items():
        mine = [m for m in pool if m[0].startswith(area + "/")]
        # At most one mutant per source line, so the sample spreads over the code.
        rng.shuffle(mine)
        chosen, lines = [], set()
        for m in mine:
            if (m[0], m[3], m[2]) not in lines and len(chosen) < quota:
                lines.add((m[0], m[3], m[2]))
                chosen.append(m)
        for rel, kind, occurrence, snippet, mutated in sorted(chosen):
            number += 1
            print(f"m{number:03d}\t{kind}\t{rel}\t{occurrence}\t{snippet}\t{mutated}")


def apply(path, occurrence, snippet, replacement):
    file = pathlib.Path(path)
    text = file.read_text()
    at = -1
    for _ in range(occurrence + 1):
        at = text.find(snippet, at + 1)
        if at < 0:
            return 3
    file.write_text(text[:at] + replacement + text[at + len(snippet):])
    return 0


if __name__ == "__main__":
    if len(sys.argv) >= 3 and sys.argv[1] == "generate":
        quotas = dict(q.split("=") for q in sys.argv[3:]) or {a: "50" for a in SOURCES}
        generate(int(sys.argv[2]), {a: int(n) for a, n in quotas.items()})
    elif len(sys.argv) == 6 and sys.argv[1] == "apply":
        sys.exit(apply(sys.argv[2], int(sys.argv[3]), sys.argv[4], sys.argv[5]))
    else:
        sys.exit(__doc__)
