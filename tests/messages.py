#!/usr/bin/env python3
"""messages.py MANDOC LIST VERSION DEBIAN...: each fact that the docs
repeat stands there as the program and the table of builds have it.
messages.py --catches MANDOC LIST VERSION DEBIAN...: in copies of the docs,
each with one fact reworded, this check fails.

- Every line the program can print stands, word for word, in the manual
  page (as MANDOC renders it) and in the user README: the format strings of
  its printf calls, each %s standing for any word there (NAME, FILE...).
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
"""

import csv
import os
import re
import shutil
import subprocess
import sys
import tempfile

top = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
FILES = ("README.md", "tests/README.md", "doc/README.md", "packaging/about", "sw/tools/conv/zerofil.1",
         "sw/tools/conv/zerofil.cpp", "tests/messages.py")
# What is reworded in a copy, one at a time: a file, the text, its new words.
REWORDED = (("doc/README.md", "Can't write all bytes to file", "Can't write every byte to file"),
            ("sw/tools/conv/zerofil.1", "Can't open file", "Cannot open file"),
            ("packaging/about", "failure to open or to write", "failure to open or to read"),
            ("README.md", "Debian 11, 12 and 13", "Debian 12 and 13"),
            ("doc/README.md", "`zerofil-VERSION.spdx.json`", "`zerofil-VERSION.spdx`"),
            ("tests/README.md", "native, ASan and Clang builds", "native and ASan builds"))

if sys.argv[1] == "--catches":
    failed = []
    for name, old, new in REWORDED:
        with tempfile.TemporaryDirectory() as copy:
            for f in FILES:
                os.makedirs(os.path.dirname(os.path.join(copy, f)), exist_ok=True)
                shutil.copy(os.path.join(top, f), os.path.join(copy, f))
            path = os.path.join(copy, name)
            text = open(path, encoding="utf-8").read()
            if old not in text:
                sys.exit(f"{name}: no \"{old}\" to reword")
            open(path, "w", encoding="utf-8").write(text.replace(old, new, 1))
            done = subprocess.run([sys.executable, os.path.join(copy, "tests/messages.py"), *sys.argv[2:]],
                                  capture_output=True, text=True)
            if done.returncode == 0:
                failed.append(f"not caught: {name}: \"{old}\" as \"{new}\"")
            else:
                print(f"caught: {name}: \"{old}\" as \"{new}\": {done.stdout.strip()}")
    print("\n".join(failed))
    sys.exit(1 if failed else 0)

mandoc, list_path, version, *debian = sys.argv[1:]


def read(name):
    with open(os.path.join(top, name), encoding="utf-8") as f:
        return f.read()


source = read("sw/tools/conv/zerofil.cpp")
formats = re.findall(r'printf\((?:stderr,\s*)?"((?:[^"\\]|\\.)*)"', source)
if len(formats) < 3:
    sys.exit(f"found only {formats} in the program")
page = subprocess.run([mandoc, "-T", "utf8", "-O", "width=1000", os.path.join(top, "sw/tools/conv/zerofil.1")],
                      check=True, capture_output=True, text=True).stdout
page = re.sub(".\b", "", page)
docs = {name: read(name) for name in ("README.md", "tests/README.md", "doc/README.md", "packaging/about")}
docs["sw/tools/conv/zerofil.1"] = page
# Lines run together, so that a sentence may break anywhere.
flat = {name: re.sub(r"\s+", " ", text.replace("\n ", "\n")) for name, text in docs.items()}
faults = []
said = []

for f in formats:
    text = f.removesuffix("\\n")
    pattern = r"[^\s`']+".join(re.escape(part) for part in text.split("%s"))
    for name in ("sw/tools/conv/zerofil.1", "doc/README.md"):
        if not re.search(pattern, docs[name]):
            faults.append(f"{name}: no \"{text}\"")
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

releases = sorted(debian, key=float)
want = "Debian " + ", ".join(releases[:-1]) + " and " + releases[-1] if len(releases) > 1 else "Debian " + releases[0]
n = 0
for name, text in flat.items():
    for found in re.findall(r"Debian \d+(?: \([^)]*\))?(?:, \d+(?: \([^)]*\))?)* and \d+(?: \([^)]*\))?", text):
        n += 1
        if re.sub(r" \([^)]*\)", "", found) != want:
            faults.append(f"{name}: \"{found}\": the roots of the table are {want}")
said.append(f"{n} lists of the roots' releases ({want})")

with open(list_path, encoding="utf-8", newline="") as f:
    rows = list(csv.DictReader(f, delimiter="\t"))
listed = {row["file"].replace(version, "VERSION") for row in rows}
listed |= {row["file"].replace(version, "VERSION") + ".asc" for row in rows if row["kind"] in ("source", "sums")}
table = docs["doc/README.md"]
table = table[table.index("| file |"):]
table = table[:table.index("\n\n")].splitlines()[2:]
named = {f for row in table for f in re.findall(r"`([^`]+)`", row.split("|")[1])}
for f in sorted(listed - named):
    faults.append(f"doc/README.md: the table of release files does not name {f}")
for f in sorted(named - listed):
    faults.append(f"doc/README.md: the table of release files names {f}, which is not a release file")
said.append(f"{len(named)} release files")

quick = sorted(os.environ.get("ZEROFIL_QUICK_LINES", "").split(";"))
n = 0
for name, text in flat.items():
    for found in re.findall(r"the behaviour table against the ((?:[\w-]+, )*[\w-]+ and [\w-]+) builds", text):
        n += 1
        if sorted(re.split(r", | and ", found.lower())) != quick:
            faults.append(f"{name}: the quick loop runs the table \"against the {found} builds\": "
                          f"the QUICK lines are {', '.join(quick)}")
if n < 2:
    faults.append(f"only {n} sentences name the quick loop's builds; README.md and tests/README.md each have one")
said.append(f"{n} sentences of the quick loop ({', '.join(quick)})")

print("\n".join(faults) or "each of: " + "; ".join(said))
sys.exit(1 if faults else 0)
