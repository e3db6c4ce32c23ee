#!/usr/bin/env python3
"""contents.py LIST DIST UNPACKED: what the release files say they hold.
contents.py provenance LIST DIST [signed]: the provenance alone.

For each program, the Debian packages its link map names (each archive the
link took members from, each start file it loaded) are worked out here,
apart from the script that wrote the notices. Then:
- each archive's notices, and each .deb's copyright file, name exactly
  those packages and quote each one's copyright file;
- the bill of materials parses and holds the fields of SPDX 2.3 that the
  release promises; its checksums are those of SHA256SUMS and of the
  unpacked programs; each program links exactly those packages, at the
  versions Debian has them.
"""

import csv
import hashlib
import json
import os
import re
import subprocess
import sys

faults = []


def fault(message):
    faults.append(message)


def packages_linked(map_path):
    """{package: (version, copyright file)} of what the map says was linked."""
    text = open(map_path, encoding="utf-8", errors="replace").read()
    section = text.split("Archive member included", 1)[-1].split("\n\n", 1)[0]
    paths = set(re.findall(r"^(/[^\s(]+\.a)\(", section, re.M)) | set(re.findall(r"^LOAD (/\S+\.o)$", text, re.M))
    found = {}
    for path in {os.path.realpath(p) for p in paths}:
        root = path
        while root != "/" and not os.path.exists(root + "/index.tsv"):
            root = os.path.dirname(root)
        if root != "/":
            rows = [l.split("\t") for l in open(root + "/index.tsv", encoding="utf-8")]
            package, version = next(r[1:3] for r in rows if r[0] == path[len(root):])
            found[package] = (version, f"{root}/usr/share/doc/{package}/copyright")
        else:
            package = subprocess.run(["dpkg", "-S", path], capture_output=True, text=True,
                                     check=True).stdout.split(":")[0]
            version = subprocess.run(["dpkg-query", "-W", "-f=${Version}", package], capture_output=True,
                                     text=True, check=True).stdout
            found[package] = (version, f"/usr/share/doc/{package}/copyright")
    return found


def notices(path, linked, crlf=False):
    raw = open(path, "rb").read().decode()
    if crlf:
        if re.search(r"(?<!\r)\n", raw):
            fault(f"{path}: a line without CR LF")
        raw = raw.replace("\r\n", "\n")
    named = set(re.findall(r"^Package: (\S+) ", raw, re.M))
    if named != set(linked):
        fault(f"{path}: names {sorted(named)}, the link map {sorted(linked)}")
    for package, (_, copyright_file) in linked.items():
        if open(copyright_file, encoding="utf-8").read().strip() not in raw:
            fault(f"{path}: does not quote the copyright file of {package}")


def debian_copyright(path, linked):
    text = open(path, encoding="utf-8").read()
    named = set(re.findall(r"^License: (\S+)\n ", text, re.M)) - {"Expat"}
    if named != set(linked):
        fault(f"{path}: quotes the licences of {sorted(named)}, the link map names {sorted(linked)}")
    files = re.search(r"^Files: usr/bin/zerofil\n(?:[^\n]+\n)*?License: ([^\n]+)", text, re.M)
    if not files or set(files.group(1).split(" and ")) != set(linked) | {"Expat"}:
        fault(f"{path}: the program's paragraph does not name Expat and each of {sorted(linked)}")


def sha256(path):
    return hashlib.sha256(open(path, "rb").read()).hexdigest()


def sbom_header(path, doc):
    """The document's own fields: SPDX 2.3, its time, its creator, its name."""
    for key, want in (("spdxVersion", "SPDX-2.3"), ("dataLicense", "CC0-1.0"), ("SPDXID", "SPDXRef-DOCUMENT")):
        if doc.get(key) != want:
            fault(f"{path}: {key} is {doc.get(key)!r}, want {want!r}")
    info = doc.get("creationInfo", {})
    if not re.fullmatch(r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ", info.get("created", "")):
        fault(f"{path}: created {info.get('created')!r} is not UTC to the second")
    if not any(c.startswith("Tool: ") for c in info.get("creators", [])):
        fault(f"{path}: no creator Tool")
    if not doc.get("name") or not doc.get("documentNamespace", "").startswith("https://"):
        fault(f"{path}: no name or namespace")


def sbom_components(path, line, linked_ids, packages, refs, linked):
    """The components that line's program links, each a Debian package of
    the link map's, at its version, with its licence and holders."""
    components = [packages[i] for i in linked_ids if i in packages]
    seen = {}
    for c in components:
        purl = next((r["referenceLocator"] for r in c.get("externalRefs", [])
                     if r.get("referenceType") == "purl"), "")
        m = re.match(r"pkg:deb/debian/([^@]+)@", purl)
        if not m:
            fault(f"{path}: {c['SPDXID']}: no Debian purl")
            continue
        seen[m.group(1)] = c
        for key in ("versionInfo", "licenseConcluded", "licenseDeclared", "copyrightText", "supplier",
                    "downloadLocation"):
            if not c.get(key):
                fault(f"{path}: {c['SPDXID']}: no {key}")
        for ref in re.findall(r"LicenseRef-[A-Za-z0-9.-]+", c.get("licenseConcluded", "")):
            if ref not in refs:
                fault(f"{path}: {ref} has no extracted text")
    if set(seen) != set(linked[line]):
        fault(f"{path}: {line} links {sorted(seen)}, the link map {sorted(linked[line])}")
    for package, c in seen.items():
        version = linked[line].get(package, ("?",))[0]
        if c.get("versionInfo") != version:
            fault(f"{path}: {package} is {c.get('versionInfo')}, Debian's package {version}")


def sbom(path, rows, dist, unpacked, linked):
    try:
        doc = json.load(open(path, encoding="utf-8"))
    except ValueError as e:
        fault(f"{path}: not JSON: {e}")
        return
    sbom_header(path, doc)
    packages = {p.get("SPDXID"): p for p in doc.get("packages", [])}
    for p in packages.values():
        if not re.fullmatch(r"SPDXRef-[A-Za-z0-9.-]+", p.get("SPDXID", "")) or not p.get("name") \
                or "downloadLocation" not in p or p.get("filesAnalyzed") is not False:
            fault(f"{path}: package {p.get('SPDXID')!r} lacks a field every package needs")
    relations = {(r["spdxElementId"], r["relationshipType"], r["relatedSpdxElement"])
                 for r in doc.get("relationships", [])}
    related = lambda a, kind: {b for x, k, b in relations if x == a and k == kind}
    sums = dict(reversed(l.split()) for l in open(os.path.join(dist, "SHA256SUMS"), encoding="utf-8"))
    described = related("SPDXRef-DOCUMENT", "DESCRIBES")
    files = {packages[i]["packageFileName"]: packages[i] for i in described if i in packages}
    want = {r["file"] for r in rows if r["format"] not in ("sbom", "provenance", "sums", "signature") and r["file"] in sums}
    archives = {r["line"]: r for r in rows if r["format"] in ("tar", "zip")}
    if set(files) != want:
        fault(f"{path}: describes {sorted(files)}, want {sorted(want)}")
    refs = {e["licenseId"] for e in doc.get("hasExtractedLicensingInfos", [])}
    for row in rows:
        name, line = row["file"], row["line"]
        p = files.get(name)
        if not p:
            continue
        if p.get("checksums") != [{"algorithm": "SHA256", "checksumValue": sums[name]}]:
            fault(f"{path}: {name}: checksum is not that of SHA256SUMS")
        purpose = p.get("primaryPackagePurpose")
        if purpose not in ("ARCHIVE", "INSTALL", "SOURCE", "CONTAINER") or (purpose == "CONTAINER") != (row["format"] == "image"):
            fault(f"{path}: {name}: purpose {purpose!r}")
        if line == "-":
            continue
        if row["format"] == "image":
            # The programs of the archives, each checked with its archive.
            digests = sorted(packages[i]["checksums"][0]["checksumValue"]
                             for i in related(p["SPDXID"], "CONTAINS") if i in packages)
            held = sorted(sha256(os.path.join(unpacked, archives[l]["unpacked"], archives[l]["program"]))
                          for l in line.split(","))
            if digests != held:
                fault(f"{path}: {name}: does not contain the programs of the archives of {line}")
            continue
        programs = related(p["SPDXID"], "CONTAINS")
        # The program of the line's archive, which its packages hold too.
        program = os.path.join(unpacked, archives[line]["unpacked"], archives[line]["program"])
        digests = [packages[i].get("checksums") for i in programs if i in packages]
        if digests != [[{"algorithm": "SHA256", "checksumValue": sha256(program)}]]:
            fault(f"{path}: {name}: does not contain one program of the checksum of {program}")
            continue
        prog = next(iter(programs))
        if packages[prog].get("primaryPackagePurpose") != "APPLICATION":
            fault(f"{path}: {prog}: not an APPLICATION")
        sbom_components(path, line, related(prog, "STATIC_LINK"), packages, refs, linked)
        if not any(b == prog and k == "BUILD_TOOL_OF" for _, k, b in relations):
            fault(f"{path}: {line}: no BUILD_TOOL_OF")
    return doc


def uri(value):
    return isinstance(value, str) and re.fullmatch(r"[a-z][a-z0-9+.-]*:\S+", value)


# The tools that make each format of release file, which the provenance must
# name among its packaging tools, besides CMake and Python.
TOOLS = {"tar": ("tar", "gzip"), "zip": ("zip",), "msi": ("wixl", "msibuild"), "deb": ("dpkg-deb",), "rpm": ("rpmbuild",),
         "source": ("git",), "dsc": ("dpkg-source",), "debian": ("dpkg-source",), "srpm": ("rpmbuild",)}


def provenance_subjects(path, statement, dist):
    """The statement's subjects, name by digest, which must be the files of
    SHA256SUMS but the statement itself; and SHA256SUMS, less it."""
    subjects = statement.get("subject")
    if not isinstance(subjects, list) or not subjects:
        fault(f"{path}: no subject")
        subjects = []
    named = {}
    for s in subjects:
        digest = s.get("digest") if isinstance(s, dict) else None
        if not isinstance(digest, dict) or not re.fullmatch(r"[0-9a-f]{64}", str(digest.get("sha256", ""))):
            fault(f"{path}: subject {s!r} has no sha256 digest")
            continue
        named[s.get("name")] = digest["sha256"]
    sums = dict(reversed(l.split()) for l in open(os.path.join(dist, "SHA256SUMS"), encoding="utf-8"))
    sums.pop(os.path.basename(path), None)
    if named != sums:
        fault(f"{path}: its subjects are not the files and checksums of SHA256SUMS but itself")
    return named, sums


def provenance_sbom(path, sbom_doc, named, uris):
    """The statement agrees with the bill of materials: each file it
    describes, by the same checksum, and each package it names."""
    for p in sbom_doc.get("packages", []):
        if p.get("primaryPackagePurpose") in ("ARCHIVE", "INSTALL", "SOURCE", "CONTAINER") and named.get(p["packageFileName"]) != \
                p["checksums"][0]["checksumValue"]:
            fault(f"{path}: {p['packageFileName']}: not the checksum of the bill of materials")
        for ref in p.get("externalRefs", []):
            if ref.get("referenceType") == "purl" and ref["referenceLocator"] not in uris:
                fault(f"{path}: the bill of materials names {ref['referenceLocator']}, the provenance does not")



def provenance(path, dist, sbom_doc, rows, signed=False):
    """The statement holds the fields that in-toto's Statement v1 and SLSA's
    Provenance v1 require, its subjects are the files of SHA256SUMS but
    itself, its source is the source tarball by its checksum, it names the
    tools that made each kind of file (and those that signed them, when
    SIGNED), and it agrees with the bill of materials: each file it
    describes, by the same checksum, and each package it names, at the same
    version."""
    lines = open(path, encoding="utf-8").read().splitlines()
    try:
        statement = json.loads(lines[0])
    except (ValueError, IndexError) as e:
        fault(f"{path}: not one JSON line: {e}")
        return
    if len(lines) != 1:
        fault(f"{path}: {len(lines)} lines, want one statement")
    if statement.get("_type") != "https://in-toto.io/Statement/v1":
        fault(f"{path}: _type is {statement.get('_type')!r}")
    if statement.get("predicateType") != "https://slsa.dev/provenance/v1":
        fault(f"{path}: predicateType is {statement.get('predicateType')!r}")
    named, sums = provenance_subjects(path, statement, dist)
    predicate = statement.get("predicate", {})
    build = predicate.get("buildDefinition", {})
    run = predicate.get("runDetails", {})
    if not uri(build.get("buildType")):
        fault(f"{path}: buildDefinition.buildType {build.get('buildType')!r} is not a URI")
    external = build.get("externalParameters")
    if not isinstance(external, dict) or not external:
        fault(f"{path}: no buildDefinition.externalParameters")
        external = {}
    if not re.fullmatch(r"[0-9]+", str(external.get("SOURCE_DATE_EPOCH", ""))):
        fault(f"{path}: no SOURCE_DATE_EPOCH among its external parameters")
    for r in rows:
        if r["format"] == "source" and r["file"] in sums:
            given = external.get("source", {})
            if given.get("name") != r["file"] or given.get("digest", {}).get("sha256") != sums[r["file"]]:
                fault(f"{path}: its source is {given!r}, not {r['file']} by its checksum in SHA256SUMS")
    if not uri(run.get("builder", {}).get("id")):
        fault(f"{path}: runDetails.builder.id is not a URI")
    dependencies = build.get("resolvedDependencies", [])
    for d in dependencies:
        if not any(k in d for k in ("uri", "digest", "content")):
            fault(f"{path}: a resolved dependency has no uri, digest or content: {d!r}")
    uris = {d.get("uri") for d in dependencies}
    roles = {role for d in dependencies for role in d.get("annotations", {}).get("roles", [])}
    want = {"cmake", "python3"} | {t for r in rows if r["file"] in sums for t in TOOLS.get(r["format"], ())}
    if signed:
        want |= {"gpg", "rpmsign", "osslsigncode"}
    for tool in sorted(want):
        if f"packaging tool: {tool}" not in roles:
            fault(f"{path}: names no packaging tool {tool}")
    if sbom_doc:
        provenance_sbom(path, sbom_doc, named, uris)

def main():
    if sys.argv[1] == "provenance":
        # provenance LIST DIST [signed]: the provenance of DIST alone
        list_path, dist = sys.argv[2:4]
        rows = list(csv.DictReader(open(list_path, encoding="utf-8"), delimiter="\t", quoting=csv.QUOTE_NONE))
        for row in rows:
            if row["format"] == "provenance":
                provenance(os.path.join(dist, row["file"]), dist, None, rows, signed=sys.argv[4:] == ["signed"])
        print("\n".join(faults) or "the provenance holds")
        sys.exit(1 if faults else 0)
    list_path, dist, unpacked = sys.argv[1:4]
    rows = list(csv.DictReader(open(list_path, encoding="utf-8"), delimiter="\t", quoting=csv.QUOTE_NONE))
    linked = {}
    for row in rows:
        line, form = row["line"], row["format"]
        # The image holds the archives' own notices (tests/channels.sh).
        if line == "-" or form == "image":
            continue
        if line not in linked:
            linked[line] = packages_linked(os.path.join(row["tree"], "zerofil.map"))
        path = os.path.join(unpacked, row["unpacked"], row["notices"])
        if form == "deb":
            debian_copyright(path, linked[line])
        else:
            notices(path, linked[line], crlf=form in ("zip", "msi"))
    sbom_doc = None
    for row in rows:
        if row["format"] == "sbom":
            sbom_doc = sbom(os.path.join(dist, row["file"]), rows, dist, unpacked, linked)
    for row in rows:
        if row["format"] == "provenance":
            provenance(os.path.join(dist, row["file"]), dist, sbom_doc, rows)
    for f in faults:
        print(f)
    if faults:
        sys.exit(1)
    print(f"notices and bill of materials: {', '.join(f'{l}: ' + ' '.join(sorted(p)) for l, p in linked.items())}")


main()
