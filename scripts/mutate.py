#!/usr/bin/env python3
"""Mutation testing: puts one small fault at a time into src/, rebuilds the
sanitizer build, runs the tests and reports the faults no test noticed.

Faults: a flipped comparison, an integer constant off by one, a deleted
statement, '&&' and '||' swapped, a negated 'if' or 'while' condition. Only
code that the Linux build compiles is mutated (the preprocessor decides).
Survivors listed in tests/equivalent-mutants.txt cannot change what the
program does and are left out of the score.

Usage: scripts/mutate.py [--sample N] [--seed S] [--match REGEX] [--list] [paths...]
Exits 1 when a survivor is not in the equivalent list, 2 on a setup error.
"""

import argparse
import fcntl
import json
import os
import random
import re
import shlex
import signal
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
BUILD = ROOT / "build" / "mutate"
JOURNAL = BUILD / "mutant-in-place.json"
EQUIVALENTS = ROOT / "tests" / "equivalent-mutants.txt"
TEST_TIMEOUT = 60  # seconds per test, the same limit CTest sets (tests/CMakeLists.txt)

# ---------------------------------------------------------------- lexing

PUNCTUATORS = sorted(
    "<<= >>= ... -> ++ -- << >> <= >= == != && || += -= *= /= %= &= |= ^= :: "
    "{ } [ ] ( ) ; : , . ? ~ ! + - * / % & | ^ = < > #".split(),
    key=len, reverse=True)
TOKEN = re.compile(
    r"(?P<space>\s+)|(?P<comment>//[^\n]*|/\*.*?\*/)"
    r"|(?P<string>(?:u8|u|U|L)?R\"(?P<delim>[^(\s]*)\(.*?\)(?P=delim)\""
    r"|(?:u8|u|U|L)?\"(?:\\.|[^\"\\\n])*\"|(?:u8|u|U|L)?'(?:\\.|[^'\\\n])*')"
    r"|(?P<number>(?:0[xX][0-9A-Fa-f']+|\d[\d']*)(?:[uU]?[lL]{0,2}|[lL]{1,2}[uU]?)(?![\w.]))"
    r"|(?P<float>\d[\w.']*)"
    r"|(?P<name>[A-Za-z_]\w*)"
    r"|(?P<punct>" + "|".join(re.escape(p) for p in PUNCTUATORS) + ")",
    re.S)


class Token:
    __slots__ = ("kind", "text", "start", "end")

    def __init__(self, kind, text, start, end):
        self.kind, self.text, self.start, self.end = kind, text, start, end


def tokens(source):
    """Code tokens of a file; comments, blanks and preprocessor lines dropped."""
    out = []
    pos = 0
    line_start = True
    while pos < len(source):
        if line_start:
            directive = re.match(r"[ \t]*#", source[pos:pos + 200])
            if directive:  # skip the directive with its continuation lines
                while True:
                    newline = source.find("\n", pos)
                    if newline < 0:
                        return out
                    if not source[pos:newline].rstrip().endswith("\\"):
                        break
                    pos = newline + 1
                pos = newline + 1
                continue
        match = TOKEN.match(source, pos)
        if not match:
            raise ValueError("cannot read the source at offset %d" % pos)
        kind = match.lastgroup if match.lastgroup != "delim" else "string"
        text = match.group(0)
        if kind == "space":
            line_start = "\n" in text
        elif kind == "comment":
            line_start = text.endswith("\n")
        else:
            out.append(Token(kind, text, match.start(), match.end()))
            line_start = False
        pos = match.end()
    return out


# ---------------------------------------------------------------- mutants

class Mutant:
    def __init__(self, path, source, start, end, replacement, kind):
        self.path, self.kind = path, kind
        self.start, self.end, self.replacement = start, end, replacement
        self.line = source.count("\n", 0, start) + 1
        self.scope = scope_of(source.split("\n"), self.line - 1)
        line_from = source.rfind("\n", 0, start) + 1
        line_to = source.find("\n", start)
        line_to = len(source) if line_to < 0 else line_to
        self.before = squeeze(source[line_from:line_to])
        mutated = source[:start] + replacement + source[end:]
        mutated_to = mutated.find("\n", line_from)
        self.after = squeeze(mutated[line_from:len(mutated) if mutated_to < 0 else mutated_to])

    def key(self):
        return (self.relative(), self.scope, self.before, self.after)

    def relative(self):
        return self.path.relative_to(ROOT).as_posix()

    def describe(self):
        return "%s:%d: %s: %s => %s" % (self.relative(), self.line, self.scope or "(file)",
                                       self.before, self.after)

    def apply(self, source):
        return source[:self.start] + self.replacement + source[self.end:]


def squeeze(text):
    return " ".join(text.split())


FUNCTION_HEAD = re.compile(r"^ {0,4}(?=[A-Za-z_~\[])(?!(?:if|for|while|switch|return|case|else|do|"
                           r"throw|try|catch)\b)(?:(?!->)[^=;(.])*?\b(~?[A-Za-z_]\w*)\s*\(")


LAMBDA = re.compile(r"\[[^\]]*\]\s*\(")


def scope_of(lines, index):
    """The function a line belongs to, as its name; "" at file level."""
    for number in range(index, -1, -1):
        text = lines[number].split("//")[0].rstrip()
        head = FUNCTION_HEAD.match(text)
        # A call that hands over a lambda ("Run(Image, [&](...) {") opens a
        # block too, but no function starts there.
        if head and not text.endswith(";") and not LAMBDA.search(text, head.end()):
            return head.group(1)
        if number < index and text in ("}", "};"):
            return ""
    return ""


FLIPPED = {"<": "<=", "<=": "<", ">": ">=", ">=": ">", "==": "!=", "!=": "=="}
STATEMENT_KEYWORDS = {"return", "throw", "break", "continue"}
NOT_STATEMENTS = {"if", "for", "while", "switch", "do", "else", "case", "default", "try", "catch",
                  "using", "namespace", "struct", "class", "enum", "template", "typedef",
                  "public", "private", "protected", "static_assert", "extern", "inline",
                  "constexpr", "const", "static", "auto", "explicit", "virtual", "friend"}


def spaced(source, token):
    """A binary operator as the formatter writes it: blanks on both sides."""
    return (token.start > 0 and source[token.start - 1] in " \n"
            and token.end < len(source) and source[token.end] in " \n")


def off_by_one(text):
    match = re.fullmatch(r"(0[xX])?([0-9A-Fa-f']+)([uUlL]*)", text)
    prefix, digits, suffix = match.group(1) or "", match.group(2).replace("'", ""), match.group(3)
    base = 16 if prefix else (8 if len(digits) > 1 and digits.startswith("0") else 10)
    value = int(digits, base)
    results = []
    for changed in (value - 1, value + 1):
        if changed < 0:
            continue
        if base == 16:
            body = format(changed, "0%d%s" % (len(digits), "X" if digits.upper() == digits else "x"))
        elif base == 8:
            body = "0" + format(changed, "o")
        else:
            body = str(changed)
        results.append(prefix + body + suffix)
    return results


def matching(toks, index):
    """Index of the bracket that closes the one at index."""
    opening, closing = toks[index].text, {"(": ")", "[": "]", "{": "}"}[toks[index].text]
    depth = 0
    for j in range(index, len(toks)):
        if toks[j].text == opening:
            depth += 1
        elif toks[j].text == closing:
            depth -= 1
            if depth == 0:
                return j
    return None


def is_declaration(statement):
    """Two names in a row before any operator: a declaration, not an action."""
    previous_is_name = False
    for token in statement:
        if token.text in ("=", "(", "{", ";", "[", "+=", "-=", "++", "--", ".", "->"):
            return False
        is_name = token.kind == "name" or token.text in (">", "*", "&", "&&")
        if is_name and token.kind == "name" and previous_is_name:
            return True
        previous_is_name = is_name
    return False


def statements(toks):
    """(first, last) token indices of statements that may be deleted."""
    found = []
    for i, token in enumerate(toks):
        previous = toks[i - 1].text if i else ";"
        starts = previous in (";", "{", "}", "else") or (
            previous == ":" and i >= 2 and (toks[i - 2].text == "default"
                                            or any(t.text == "case" for t in toks[max(0, i - 4):i])))
        if previous == ")":  # the body of an if, while or for without braces
            j = i - 1
            opening = None
            depth = 0
            for k in range(j, -1, -1):
                if toks[k].text == ")":
                    depth += 1
                elif toks[k].text == "(":
                    depth -= 1
                    if depth == 0:
                        opening = k
                        break
            starts = opening is not None and opening > 0 and toks[opening - 1].text in ("if", "while", "for")
        if not starts or token.text in NOT_STATEMENTS or token.text in ("{", "}", ";", "#"):
            continue
        depth = 0
        end = None
        for j in range(i, len(toks)):
            text = toks[j].text
            if text in ("(", "[", "{"):
                depth += 1
            elif text in (")", "]", "}"):
                depth -= 1
                if depth < 0:
                    break
            elif text == ";" and depth == 0:
                end = j
                break
        if end is None or end == i:
            continue
        body = toks[i:end + 1]
        if any(t.text == "{" for t in body) and body[0].text not in STATEMENT_KEYWORDS:
            continue  # a lambda or an initializer block: not a plain statement
        if len(body) > 2 and body[-3].text == "=" and body[-2].text in ("delete", "default"):
            continue  # a declaration of a special member, not an action
        if body[0].text in STATEMENT_KEYWORDS or not is_declaration(body):
            found.append((i, end))
    return found


def idle_break(toks, first, last):
    """A break that only leaves the switch where it ends anyway: before its
    closing brace, or before a default that does nothing but break."""
    if toks[first].text != "break" or last + 1 >= len(toks):
        return False
    rest = [t.text for t in toks[last + 1:last + 6]]
    return rest[:1] == ["}"] or rest == ["default", ":", "break", ";", "}"]


def mutants_of(path, source, compiled_lines):
    toks = tokens(source)
    line_of = {}

    def compiled(token):
        if token.start not in line_of:
            line_of[token.start] = source.count("\n", 0, token.start) + 1
        return line_of[token.start] in compiled_lines

    found = []
    # Inside templates' angle brackets and attributes nothing is an operator.
    for i, token in enumerate(toks):
        if not compiled(token):
            continue
        text = token.text
        if text in FLIPPED and (text not in ("<", ">") or spaced(source, token)):
            found.append(Mutant(path, source, token.start, token.end, FLIPPED[text], "comparison"))
        elif text in ("&&", "||") and spaced(source, token):
            found.append(Mutant(path, source, token.start, token.end,
                                "||" if text == "&&" else "&&", "logical"))
        elif token.kind == "number":
            if any(t.text == "case" for t in toks[max(0, i - 3):i]):
                continue  # a changed case label would clash with its neighbour
            for changed in off_by_one(text):
                found.append(Mutant(path, source, token.start, token.end, changed, "constant"))
        elif text in ("if", "while") and i + 1 < len(toks) and toks[i + 1].text == "(":
            close = matching(toks, i + 1)
            if close is None or close == i + 2 or is_declaration(toks[i + 2:close]):
                continue
            inner_start, inner_end = toks[i + 2].start, toks[close - 1].end
            found.append(Mutant(path, source, inner_start, inner_end,
                                "!(" + source[inner_start:inner_end] + ")", "negation"))
    for first, last in statements(toks):
        if compiled(toks[first]) and not idle_break(toks, first, last):
            found.append(Mutant(path, source, toks[first].start, toks[last].end, ";", "deletion"))
    return found


# ---------------------------------------------------------------- the build

def run(command, **options):
    return subprocess.run(command, cwd=ROOT, **options)


def configure():
    result = run(["cmake", "--preset", "mutate"], stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                 text=True)
    if result.returncode != 0:
        sys.exit("mutate: configuring the sanitizer build failed:\n" + result.stdout)


def build():
    result = run(["cmake", "--build", str(BUILD)], stdout=subprocess.PIPE,
                 stderr=subprocess.STDOUT, text=True)
    return result.returncode == 0, result.stdout


def tests_pass():
    """Runs ctest in its own process group, so an interrupt stops it too."""
    process = subprocess.Popen(
        ["ctest", "--test-dir", str(BUILD), "-j", str(os.cpu_count() or 2), "--timeout",
         str(TEST_TIMEOUT), "--stop-on-failure", "-Q"],
        cwd=ROOT, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
    try:
        return process.wait() == 0
    finally:
        if process.poll() is None:
            os.killpg(process.pid, signal.SIGKILL)
            process.wait()


def compiled_lines():
    """Per source file, the lines the preprocessor keeps for this build."""
    commands = json.loads((BUILD / "compile_commands.json").read_text())
    lines = {}
    for entry in commands:
        source = Path(entry["file"]).resolve()
        if ROOT / "src" not in source.parents:
            continue
        words = shlex.split(entry["command"])
        kept = []
        skip = False
        for word in words:
            if skip:
                skip = False
                continue
            if word in ("-o", "-MF", "-MT", "-MQ"):
                skip = True
                continue
            if word in ("-c", "-MD", "-MMD"):
                continue
            kept.append(word)
        output = subprocess.run(kept + ["-E"], cwd=entry["directory"], stdout=subprocess.PIPE,
                                stderr=subprocess.DEVNULL, text=True, errors="replace").stdout
        current, number = None, 0
        for text in output.split("\n"):
            marker = re.match(r'# (\d+) "([^"]*)"', text)
            if marker:
                number, current = int(marker.group(1)), Path(marker.group(2))
                if not current.is_absolute():
                    current = Path(entry["directory"]) / current
                current = current.resolve()
                continue
            if current is not None and ROOT / "src" in current.parents and text.strip():
                lines.setdefault(current, set()).add(number)
            number += 1
    return lines


# ---------------------------------------------------------------- safety

class Interrupted(Exception):
    pass


def on_signal(number, frame):
    raise Interrupted(signal.Signals(number).name)


def restore_from_journal():
    """A run that was killed outright left its mutant in place: undo it."""
    if JOURNAL.exists():
        saved = json.loads(JOURNAL.read_text())
        Path(saved["path"]).write_text(saved["source"])
        JOURNAL.unlink()
        print("mutate: restored %s, left changed by an earlier run" % saved["path"])


def put_mutant(path, original, mutated):
    JOURNAL.write_text(json.dumps({"path": str(path), "source": original}))
    path.write_text(mutated)


def take_mutant(path, original):
    path.write_text(original)
    JOURNAL.unlink(missing_ok=True)


# ---------------------------------------------------------------- main

def read_equivalents():
    """Lines 'file | function | before => after | reason' ('-' for no function);
    '#' starts a comment line."""
    listed = {}
    if not EQUIVALENTS.exists():
        return listed
    for number, line in enumerate(EQUIVALENTS.read_text().splitlines(), 1):
        if not line.strip() or line.lstrip().startswith("#"):
            continue
        parts = line.split(" | ", 2)
        last = line.rfind(" | ")
        change = line[len(parts[0]) + len(parts[1]) + 6:last] if len(parts) == 3 else ""
        if " => " not in change or last <= len(parts[0]) + len(parts[1]) + 3:
            sys.exit("mutate: %s:%d: want 'file | function | before => after | reason'"
                     % (EQUIVALENTS, number))
        before, after = change.split(" => ", 1)
        scope = parts[1].strip()
        listed[(parts[0].strip(), "" if scope == "-" else scope, squeeze(before),
                squeeze(after))] = line[last + 3:].strip()
    return listed


def report(killed, survived, equivalent, stillborn, drawn, seed):
    for key in survived:
        path, scope, before, after = key
        print("survivor: %s | %s | %s => %s" % (path, scope or "-", before, after))
    judged = killed + len(survived)
    score = 100.0 * killed / judged if judged else 100.0
    print("mutate: %d equivalent (listed), %d did not build" % (equivalent, stillborn))
    print("%d killed, %d survived: Mutation score: %.1f%% (%d of %d mutants that can change "
          "behaviour killed; %d sampled, seed %d)"
          % (killed, len(survived), score, killed, judged, drawn, seed))
    return 1 if survived else 0


def rescore(log, listed):
    """Verdicts from a run's '[i/n] verdict: file:line: function: before => after' lines."""
    line = re.compile(r"\[\d+/(\d+)\] (killed|SURVIVED|equivalent|did not build): "
                      r"(\S+?):\d+: (.*?): (.*) => (.*)$")
    killed, survived, equivalent, stillborn, drawn, seed = 0, [], 0, 0, 0, 0
    for text in log.read_text().splitlines():
        seeded = re.match(r"mutate: .* drawn \(seed (\d+)\)", text)
        if seeded:
            seed = int(seeded.group(1))
        found = line.match(text)
        if not found:
            continue
        drawn = int(found.group(1))
        verdict, path, scope, before, after = found.group(2, 3, 4, 5, 6)
        key = (path, "" if scope == "(file)" else scope, before, after)
        if verdict == "killed":
            killed += 1
        elif verdict == "did not build":
            stillborn += 1
        elif key in listed:
            equivalent += 1
        else:
            survived.append(key)
    return report(killed, survived, equivalent, stillborn, drawn, seed)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--sample", type=int, default=0, help="mutants to draw (default: all)")
    parser.add_argument("--seed", type=int, default=1209, help="seed of the sample")
    parser.add_argument("--list", action="store_true", help="list the drawn mutants, run nothing")
    parser.add_argument("--match", help="only mutants whose description matches this regex")
    parser.add_argument("--rescore", metavar="LOG",
                        help="score the verdicts of an earlier run's output against the "
                             "equivalent list as it is now, without building anything")
    parser.add_argument("paths", nargs="*", help="files or folders to mutate (default: src)")
    options = parser.parse_args()

    if options.rescore:
        return rescore(Path(options.rescore), read_equivalents())
    for number in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
        signal.signal(number, on_signal)
    BUILD.mkdir(parents=True, exist_ok=True)
    lock = open(BUILD / "mutate.lock", "w")
    try:  # one run at a time: two would put their mutants into one tree
        fcntl.flock(lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
    except OSError:
        sys.exit("mutate: another run is using %s" % BUILD)
    restore_from_journal()
    configure()

    targets = [Path(p).resolve() for p in (options.paths or [str(ROOT / "src")])]
    files = sorted({f for t in targets for f in ([t] if t.is_file() else t.rglob("*"))
                    if f.suffix in (".cpp", ".h")})
    kept = compiled_lines()
    everything = []
    for path in files:
        everything += mutants_of(path, path.read_text(), kept.get(path, set()))
    if options.match:
        everything = [m for m in everything if re.search(options.match, m.describe())]
    drawn = everything
    if 0 < options.sample < len(everything):
        drawn = random.Random(options.seed).sample(everything, options.sample)
    drawn.sort(key=lambda m: (m.relative(), m.start, m.replacement))
    print("mutate: %d mutants in %d files; %d drawn (seed %d)"
          % (len(everything), len(files), len(drawn), options.seed), flush=True)
    if options.list:
        for mutant in drawn:
            print(mutant.describe())
        return 0

    listed = read_equivalents()
    ok, log = build()
    if not ok or not tests_pass():
        print(log)
        sys.exit("mutate: the unmutated build or its tests fail; fix that first")

    killed, survived, equivalent, stillborn = [], [], [], []
    started = time.monotonic()
    try:
        for count, mutant in enumerate(drawn, 1):
            original = mutant.path.read_text()
            put_mutant(mutant.path, original, mutant.apply(original))
            try:
                ok, _ = build()
                caught = ok and not tests_pass()
            finally:
                take_mutant(mutant.path, original)
            if not ok:
                stillborn.append(mutant)
                verdict = "did not build"
            elif caught:
                killed.append(mutant)
                verdict = "killed"
            elif mutant.key() in listed:
                equivalent.append(mutant)
                verdict = "equivalent"
            else:
                survived.append(mutant)
                verdict = "SURVIVED"
            print("[%d/%d] %s: %s" % (count, len(drawn), verdict, mutant.describe()), flush=True)
    except Interrupted as reason:
        print("mutate: interrupted (%s); src/ is as it was" % reason)
        return 130
    finally:
        build()  # leave the build matching the sources

    print("mutate: %.0f s" % (time.monotonic() - started))
    return report(len(killed), [m.key() for m in survived], len(equivalent), len(stillborn),
                  len(drawn), options.seed)


if __name__ == "__main__":
    sys.exit(main())
