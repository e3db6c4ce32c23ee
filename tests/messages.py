#!/usr/bin/env python3
"""messages.py MANDOC: every line the program can print stands, word for
word, in the manual page (as MANDOC renders it) and in the user README.

The lines are the format strings of the program's printf calls; each %s in
one stands for any word there (NAME, FILE, zerofil, file).
"""

import os
import re
import subprocess
import sys

top = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
source = open(os.path.join(top, "sw/tools/conv/zerofil.cpp"), encoding="utf-8").read()
formats = re.findall(r'printf\((?:stderr,\s*)?"((?:[^"\\]|\\.)*)"', source)
if len(formats) < 3:
    sys.exit(f"found only {formats} in the program")
page = subprocess.run([sys.argv[1], "-T", "utf8", "-O", "width=1000", os.path.join(top, "sw/tools/conv/zerofil.1")],
                      check=True, capture_output=True, text=True).stdout
page = re.sub(".\b", "", page)
readme = open(os.path.join(top, "doc/README.md"), encoding="utf-8").read()
missing = []
for f in formats:
    text = f.removesuffix("\\n")
    pattern = r"[^\s`']+".join(re.escape(part) for part in text.split("%s"))
    for name, doc in (("sw/tools/conv/zerofil.1", page), ("doc/README.md", readme)):
        if not re.search(pattern, doc):
            missing.append(f"{name}: no \"{text}\"")
print("\n".join(missing) or "each of: " + "; ".join(f.removesuffix("\\n") for f in formats))
sys.exit(1 if missing else 0)
