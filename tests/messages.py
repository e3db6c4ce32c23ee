#!/usr/bin/env python3
"""messages.py MANDOC LIST VERSION DEBIAN...: the five kinds of fact that
the docs repeat stand there as the program and the table of builds have
them, and the READMEs read easily.
messages.py --catches MANDOC LIST VERSION DEBIAN...: the docs as they are
pass; then, in copies of them, each with one fact reworded, the check fails.
Each reworded fact is taken from the docs and the program as they are.

- Every line the program can print stands, word for word, in the manual
  page (as MANDOC renders it) and in the user README: the format strings of
  its printf calls, each %s standing for any word there (NAME, FILE...).
  The tests read the same lines from the program (scripts/lib.sh).
- Each sentence that names the kinds of failure ("a failure to open or to
  write") names those of the program's messages ("Can't open", "Can't
  write"), in the READMEs, the manual page and packaging/about.
- Each "Debian 11, 12 and 13" names the releases of the table's roots,
  DEBIAN (their version numbers).
- The release files of the user README's table are those of LIST
  (release-files.tsv), VERSION written as VERSION, with the signatures
  that a signed release adds.
- The builds whose tables the quick loop runs ("the behaviour table
  against the native, ASan and Clang builds") are the table's QUICK lines,
  ZEROFIL_QUICK_LINES.
And the READMEs read easily: their sentences are short on average, none
is very long, and README.md stays short. A sentence ends at ".", "!" or
"?", at a blank line, and where a list item starts; code, headings and
tables are left out, and inline code counts as one word.
"""

import csv
import os
import re
import shutil
import subprocess
import sys
import tempfile

TOP = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DOCS = ("README.md", "tests/README.md", "doc/README.md", "RELEASING.md", "packaging/about")
READMES = ("README.md", "tests/README.md", "doc/README.md", "RELEASING.md")
MEAN_WORDS, MOST_WORDS, README_LINES = 22, 60, 250
PAGE = "sw/tools/conv/zerofil.1"
PROGRAM = "sw/tools/conv/zerofil.cpp"
catches = sys.argv[1] == "--catches"
mandoc, list_path, version, *debian = sys.argv[2:] if catches else sys.argv[1:]
releases = sorted(debian, key=float)
quick = sorted(os.environ.get("ZEROFIL_QUICK_LINES", "").split(";"))
QUICK_NAMED = r"the behaviour table against the ((?:[\w-]+, )*[\w-]+ and [\w-]+) builds"


def listing(items):
    """a, b and c"""
    return ", ".join(items[:-1]) + " and " + items[-1] if len(items) > 1 else items[0]


def read(top, name):
    with open(os.path.join(top, name), encoding="utf-8") as f:
        return f.read()


def formats_of(top):
    """The program's lines, as its printf calls write them."""
    return re.findall(r'printf\((?:stderr,\s*)?"((?:[^"\\]|\\.)*)\\n"', read(top, PROGRAM))


def docs_of(top):
    """Each doc's text, and each run together so that a sentence may break anywhere."""
    docs = {name: read(top, name) for name in DOCS}
    page = subprocess.run([mandoc, "-T", "utf8", "-O", "width=1000", os.path.join(top, PAGE)],
                          check=True, capture_output=True, text=True).stdout
    docs[PAGE] = re.sub(".\b", "", page)
    return docs, {name: re.sub(r"\s+", " ", text.replace("\n ", "\n")) for name, text in docs.items()}


def release_table(doc):
    """The file names of the user README's table of release files."""
    table = doc[doc.index("| file |"):]
    table = table[:table.index("\n\n")].splitlines()[2:]
    return [f for row in table for f in re.findall(r"`([^`]+)`", row.split("|")[1])]


def words(sentence):
    return re.findall(r"[\w'’-]+", sentence)


def sentences(text):
    """The sentences of a Markdown text, inline code written CODE."""
    found, block, fence = [], [], False

    def end_block():
        para = re.sub(r"\[([^\]]*)\]\([^)]*\)", r"\1", re.sub(r"`[^`]*`", "CODE", " ".join(block)))
        found.extend(s for s in re.split(r"(?<=[.!?])\s+", para) if words(s))
        block.clear()

    for line in text.splitlines():
        if line.startswith("```"):
            fence = not fence
        item = re.match(r"\s*(?:[-*]|\d+\.)\s", line)

        # Code, a blank line, a table or a heading; an indented line opens a
        # code block only where no paragraph runs.
        def not_prose():
            return (fence or line.startswith("```") or not line.strip() or line.lstrip().startswith(("|", "#"))
                    or (line.startswith("    ") and not block))

        if not_prose() or item:
            end_block()
        if not not_prose():
            block.append(line[item.end():] if item else line.strip())
    end_block()
    return found


def check(top):
    """What the docs under top state otherwise than the program and the table: faults, and what was held."""
    formats = formats_of(top)
    if len(formats) < 3:
        return [f"{PROGRAM}: found only {formats} as the program's lines"], []
    docs, flat = docs_of(top)
    faults, said = [], []
    for part in (check_messages(formats, docs, flat), check_roots(flat), check_release_files(docs),
                 check_quick(flat), check_prose(docs)):
        faults += part[0]
        said += part[1]
    return faults, said


def check_messages(formats, docs, flat):
    """The program's lines in the page and the user README, and the sentences that name its kinds of failure."""
    faults, said = [], []
    for text in formats:
        pattern = r"[^\s`']+".join(re.escape(part) for part in text.split("%s"))
        for name in (PAGE, "doc/README.md"):
            if not re.search(pattern, docs[name]):
                faults.append(f"{name}: no \"{text}\", as {PROGRAM} prints it")
    said.append(f"{len(formats)} messages")

    kinds = sorted(set(re.findall(r"Can't (\w+)", " ".join(formats))))
    n = 0
    for name, text in flat.items():
        for named in re.findall(r"failure to ((?:\w+)(?:,? (?:or )?(?:to )?\w+)*?) (?:prints|is reported)", text):
            n += 1
            verbs = sorted(w for w in re.findall(r"\w+", named) if w not in ("or", "to"))
            if verbs != kinds:
                faults.append(f"{name}: \"failure to {named}\": the program's failures are {' and '.join(kinds)}")
    if n < 3:
        faults.append(f"only {n} sentences name the kinds of failure; the READMEs and packaging/about each have one")
    said.append(f"{n} sentences of the failures ({', '.join(kinds)})")

    return faults, said


def check_roots(flat):
    """Each list of the Debian releases of the roots."""
    faults, said = [], []
    want = "Debian " + listing(releases)
    n = 0
    for name, text in flat.items():
        for found in re.findall(r"Debian \d+(?: \([^)]*\))?(?:, \d+(?: \([^)]*\))?)* and \d+(?: \([^)]*\))?", text):
            n += 1
            if re.sub(r" \([^)]*\)", "", found) != want:
                faults.append(f"{name}: \"{found}\": the roots of the table are {want}")
    said.append(f"{n} lists of the roots' releases ({want})")

    return faults, said


def check_release_files(docs):
    """doc/README.md's table of release files, against the list."""
    faults, said = [], []
    with open(list_path, encoding="utf-8", newline="") as f:
        rows = list(csv.DictReader(f, delimiter="\t"))
    listed = {row["file"].replace(version, "VERSION") for row in rows}
    listed |= {row["file"].replace(version, "VERSION") + ".asc" for row in rows if row["format"] in ("source", "sums")}
    named = set(release_table(docs["doc/README.md"]))
    for f in sorted(listed - named):
        faults.append(f"doc/README.md: the table of release files does not name {f}")
    for f in sorted(named - listed):
        faults.append(f"doc/README.md: the table of release files names {f}, which is not a release file")
    said.append(f"{len(named)} release files")

    return faults, said


def check_quick(flat):
    """Each sentence that names the quick loop's builds."""
    faults, said = [], []
    n = 0
    for name, text in flat.items():
        for found in re.findall(QUICK_NAMED, text):
            n += 1
            if sorted(re.split(r", | and ", found.lower())) != quick:
                faults.append(f"{name}: the quick loop runs the table \"against the {found} builds\": "
                              f"the QUICK lines are {', '.join(quick)}")
    if n < 2:
        faults.append(f"only {n} sentences name the quick loop's builds; README.md and tests/README.md each have one")
    said.append(f"{n} sentences of the quick loop ({', '.join(quick)})")

    return faults, said


def check_prose(docs):
    """The READMEs' sentences, and README.md's length."""
    faults, said = [], []
    for name in READMES:
        counts = [len(words(s)) for s in sentences(docs[name])]
        longest = max(sentences(docs[name]), key=lambda s: len(words(s)))
        if sum(counts) / len(counts) > MEAN_WORDS:
            faults.append(f"{name}: its sentences run {sum(counts) / len(counts):.1f} words on average, "
                          f"past {MEAN_WORDS}: make the longest shorter, or lists")
        if len(words(longest)) > MOST_WORDS:
            faults.append(f"{name}: a sentence of {len(words(longest))} words, past {MOST_WORDS}: "
                          f"\"{' '.join(longest.split()[:8])}…\"")
    lines = docs["README.md"].count("\n")
    if lines > README_LINES:
        faults.append(f"README.md: {lines} lines, past {README_LINES}: move detail to the page it belongs on")
    said.append(f"the sentences of {len(READMES)} READMEs (at most {MEAN_WORDS} words on average, "
                f"none over {MOST_WORDS}) and README.md's {lines} lines")
    return faults, said


def rewordings():
    """Each fact as the docs have it, and a wrong one: a file, the words, their new words."""
    formats = formats_of(TOP)
    docs, flat = docs_of(TOP)
    plant = []
    # The last word of each line's longest fixed part, in capitals.
    for i, text in enumerate(formats):
        part = max(text.split("%s"), key=len).strip(" :")
        plant.append(((PAGE, "doc/README.md")[i % 2], part, re.sub(r"(\S+)$", lambda m: m[1].upper(), part)))
    kind = re.findall(r"Can't (\w+)", " ".join(formats))[0]
    plant.append(("packaging/about", f"failure to {kind}", "failure to read"))
    if len(releases) > 1:
        plant.append(("README.md", "Debian " + listing(releases), "Debian " + listing(releases[1:])))
    first = release_table(docs["doc/README.md"])[0]
    plant.append(("doc/README.md", f"`{first}`", f"`{first}.old`"))
    # The longest plain sentence of README.md, said again and again.
    plain = [s for s in sentences(docs["README.md"]) if "CODE" not in s and "](" not in s]
    said = max(plain, key=lambda s: len(words(s)))
    plant.append(("README.md", said, ", and ".join([said] * (MOST_WORDS // len(words(said)) + 2))))
    found = re.search(QUICK_NAMED, flat["tests/README.md"])
    if found:
        builds = re.split(r", | and ", found[1])
        plant.append(("tests/README.md", found[0], f"the behaviour table against the {listing(builds[1:])} builds"))
    return plant


if not catches:
    faults, said = check(TOP)
    print("\n".join(faults) or "each of: " + "; ".join(said))
    sys.exit(1 if faults else 0)

faults, said = check(TOP)
if faults:
    sys.exit("the docs as they are fail, so no rewording can show anything:\n" + "\n".join(faults))
print("as they are, the docs pass: " + "; ".join(said))
failed = []
for name, old, new in rewordings():
    with tempfile.TemporaryDirectory() as copy:
        for f in (*DOCS, PAGE, PROGRAM):
            os.makedirs(os.path.dirname(os.path.join(copy, f)), exist_ok=True)
            shutil.copy(os.path.join(TOP, f), os.path.join(copy, f))
        path = os.path.join(copy, name)
        text = open(path, encoding="utf-8").read()
        # The words may break across lines, and in the page across macros.
        pattern = r"\s+".join(re.escape(w) for w in old.split())
        if not re.search(pattern, text):
            failed.append(f"{name}: no \"{old}\" to reword: the check found it there, the file does not have it")
            continue
        open(path, "w", encoding="utf-8").write(re.sub(pattern, lambda _: new, text, count=1))
        faults, _ = check(copy)
        if faults:
            print(f"caught: {name}: \"{old}\" as \"{new}\": {faults[0]}")
        else:
            failed.append(f"not caught: {name}: \"{old}\" as \"{new}\"")
print("\n".join(failed))
sys.exit(1 if failed else 0)
