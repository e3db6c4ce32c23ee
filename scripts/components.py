#!/usr/bin/env python3
"""What a release program is made of, and the papers that say so.

components.py notices MAP CXX OUT [--crlf] [--debian COPYRIGHT]
    From the linker's map MAP of a program built by the compiler CXX, find
    each archive the link took members from and each start file it loaded,
    the Debian package each came from, and write to the folder OUT:
    components.json (for the bill of materials), THIRD-PARTY-NOTICES
    (THIRD-PARTY-NOTICES.txt with CR LF line ends, for Windows) and, with
    --debian, a Debian copyright file: COPYRIGHT with a paragraph for the
    program and one for each component.

components.py licence [TREE]
    Print the SPDX expression of everything in the program of the build
    tree TREE: zerofil's own licence and each component's; without TREE,
    zerofil's own, that of its source.

components.py rpmlint
    Print rpmlint's settings of the licences and exceptions that
    packaging/components.tsv may conclude.

components.py sbom LIST DIST VERSION
    Print the SPDX 2.3 bill of materials of the release files in DIST that
    LIST (release-files.tsv) names: each file, the program it holds, the
    components linked into that program and the tools that built it. It
    leaves out the provenance, which names it, and the signatures.

components.py provenance LIST DIST VERSION TOOL...
    Print the provenance of the release files in DIST that LIST names, the
    bill of materials among them: an in-toto Statement v1 with the SLSA
    Provenance v1 predicate, on one line. Its dependencies are the Debian
    packages of the compilers, linkers and C libraries that the bill of
    materials names, and of each TOOL, a command that made release files.

components.py manifests LIST DIST VERSION URL OUT
    Write the winget manifests and the Scoop manifest of the Windows
    release files of LIST in DIST under OUT, URL (with {version}) being
    where they are downloaded from.

Each component's licence, supplier and home come from
packaging/components.tsv; its version, files and texts from Debian's
packages, on this machine (dpkg) or in a tree that scripts/musl.sh
unpacked (its index.tsv). The licence concluded must agree with the
component's copyright file, as packaging/licences.tsv says how such a file
grants each licence and exception. zerofil's own copyright and supplier
come from packaging/about.
"""

import csv
import fnmatch
import hashlib
import io
import json
import os
import re
import shutil
import subprocess
import sys
import tarfile
import urllib.parse
import zipfile
from datetime import datetime, timezone

TOP = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
NOTICES = "THIRD-PARTY-NOTICES"
# The licence of zerofil's own code (LICENSE).
LICENCE = "MIT"
# Release files that the bill of materials does not describe: itself, the
# provenance that names it, the checksums and the signatures.
UNDESCRIBED = ("sbom", "provenance", "sums", "signature")
# What the bill of materials calls each format of release file that is not an
# archive: what installs, and the distributions' source packages.
PURPOSE = {"image": "CONTAINER", "msi": "INSTALL", "deb": "INSTALL", "rpm": "INSTALL", "dsc": "SOURCE", "debian": "SOURCE", "srpm": "SOURCE"}


def fail(message):
    sys.exit(f"{sys.argv[0]}: {message}")


def run(*args):
    return subprocess.run(args, check=True, capture_output=True, text=True).stdout


def linked_files(path):
    """Each file the map says the link used: the archives it took members
    from and the object files it loaded, outside the build tree."""
    text = open(path, encoding="utf-8", errors="replace").read()
    members = text.split("Archive member included", 1)[-1]
    members = re.split(r"\n(?=[A-Z][a-z]+ [a-z])", members, maxsplit=1)[0]
    files = set(re.findall(r"^(/[^\s(]+\.a)\(", members, re.M))
    files |= set(re.findall(r"^LOAD (/\S+\.o)$", text, re.M))
    return sorted({os.path.realpath(f) for f in files})


def host_codename():
    for line in open("/etc/os-release", encoding="utf-8"):
        if line.startswith("VERSION_CODENAME="):
            return line.split("=", 1)[1].strip().strip('"')
    return "unknown"


def owner(path, quiet=False):
    """The Debian package PATH came from: package, version, source package,
    architecture, suite and its copyright file. With QUIET, LookupError
    where no package holds it."""
    tree = os.path.dirname(path)
    while tree != "/" and not os.path.exists(os.path.join(tree, "index.tsv")):
        tree = os.path.dirname(tree)
    if tree != "/":
        inside = "/" + os.path.relpath(path, tree)
        for line in open(os.path.join(tree, "index.tsv"), encoding="utf-8"):
            fields = line.rstrip("\n").split("\t")
            if fields[0] == inside:
                package, version, source, arch, suite = fields[1:6]
                doc = os.path.join(tree, "usr/share/doc", package, "copyright")
                return package, version, source, arch, suite, doc
        fail(f"{path}: not in {tree}/index.tsv")
    # Debian 12's dpkg knows a merged /usr's /bin files by their old names.
    found = None
    for name in (path, path[4:] if path.startswith("/usr/") else None):
        try:
            found = run("dpkg", "-S", name).splitlines()[0] if name else None
        except subprocess.CalledProcessError:
            continue
        break
    if not found:
        if quiet:
            raise LookupError(path)
        fail(f"{path}: no Debian package holds it")
    package = found.split(": ", 1)[0]
    version, source, arch = run(
        "dpkg-query", "-W", "-f=${Version}\t${source:Package}\t${Architecture}", package).split("\t")
    package = package.split(":")[0]
    return package, version, source, arch, host_codename(), f"/usr/share/doc/{package}/copyright"


def table(name):
    """The rows of a table of packaging/, less its comments."""
    rows = []
    for line in open(os.path.join(TOP, "packaging", name), encoding="utf-8"):
        if line.strip() and not line.startswith("#"):
            rows.append(line.rstrip("\n").split("\t"))
    return rows


def conclusions():
    return table("components.tsv")


def about(field):
    """A field of packaging/about."""
    text = open(os.path.join(TOP, "packaging/about"), encoding="utf-8").read()
    m = re.search(rf"^{field}:(.*)\n((?: .*\n)*)", text, re.M)
    if not m:
        fail(f"packaging/about: no {field}")
    return "\n".join([m.group(1).strip()] + [l[1:] for l in m.group(2).splitlines()]).strip()


def terms(expression):
    """The licences and the exceptions that an SPDX expression names."""
    licences, exceptions, after_with = [], [], False
    for word in re.findall(r"[A-Za-z0-9.+-]+", expression):
        if word in ("AND", "OR", "WITH"):
            after_with = word == "WITH"
            continue
        (exceptions if after_with else licences).append(word)
        after_with = False
    return licences, exceptions


def check_licence(entry, text):
    """The licence concluded for ENTRY agrees with its copyright file TEXT:
    the file grants each licence and exception the expression names, and
    the expression names each exception the file grants, and each licence
    too where the licence covers all that the file grants."""
    markers = {row[0]: (row[1], row[2]) for row in table("licences.tsv")}
    folded = " ".join(text.split())
    licences, exceptions = terms(entry["licence"])
    where = f"{entry['package']}: the licence concluded, {entry['licence']},"
    for term in licences + exceptions:
        if term.startswith("LicenseRef-"):
            continue
        if term not in markers:
            fail(f"{where} names {term}, which packaging/licences.tsv does not know")
        if not re.search(markers[term][1], folded, re.I):
            fail(f"{where} names {term}, which its copyright file {entry['copyright']} does not grant")
    for term, (kind, pattern) in markers.items():
        if kind == "licence" and entry["covers"] != "all":
            continue
        if term not in licences + exceptions and re.search(pattern, folded, re.I):
            fail(f"{where} leaves out {term}, which its copyright file {entry['copyright']} grants")


def paragraphs(text):
    """The paragraphs of a Debian copyright file, as dicts of fields."""
    result = []
    for block in re.split(r"\n\s*\n", text):
        fields, key = {}, None
        for line in block.splitlines():
            if line[:1] in (" ", "\t") and key:
                fields[key] += "\n" + line
            elif ":" in line:
                key, value = line.split(":", 1)
                fields[key] = value.strip()
        if fields:
            result.append(fields)
    return result


def machine_readable(text):
    return text.startswith("Format: ")


def licence_text(text, name):
    """The text of the licence NAME in a machine-readable copyright file."""
    for fields in paragraphs(text):
        lines = fields.get("License", "").split("\n")
        if lines[0].strip() == name and len(lines) > 1:
            return "\n".join("" if l.strip() == "." else l[1:] for l in lines[1:])
    fail(f"no text of licence {name} in the copyright file")


def scan(map_path, cxx):
    table = conclusions()
    components = {}
    for path in linked_files(map_path):
        package, version, source, arch, suite, doc = owner(path)
        entry = components.setdefault(package, {
            "package": package, "version": version, "source": source, "arch": arch,
            "suite": suite, "copyright": doc, "files": []})
        entry["files"].append(os.path.basename(path))
    for entry in components.values():
        rows = [r for r in table if fnmatch.fnmatchcase(entry["source"], r[0])]
        if not rows:
            fail(f"nothing is concluded about {entry['package']} (source {entry['source']}): "
                 "add it to packaging/components.tsv")
        if len(rows[0]) != 7 or rows[0][6] not in ("all", "part"):
            fail(f"packaging/components.tsv: {rows[0][0]}: not seven fields, the last all or part")
        _, name, licence, supplier, download, holders, covers = rows[0]
        text = open(entry["copyright"], encoding="utf-8").read()
        entry["licence"] = licence
        entry["covers"] = covers
        check_licence(entry, text)
        if holders == "-":
            holders = next(p["Copyright"] for p in paragraphs(text) if p.get("Files") == "*")
        refs = {}
        for ref in re.findall(r"LicenseRef-[A-Za-z0-9.-]+", licence):
            refs[ref] = licence_text(text, ref[len("LicenseRef-" + entry["source"] + "-"):])
        entry.update(name=name, licence=licence, supplier=supplier, download=download,
                     holders=holders, text=text, refs=refs, files=sorted(entry["files"]))
    # The tools that built it: the compiler and the linker it runs.
    ld = run(cxx, "-print-prog-name=ld").strip()
    tools = []
    for role, path in (("compiler", shutil.which(cxx)), ("linker", shutil.which(ld))):
        if not path:
            fail(f"no {role} found for {cxx}")
        package, version, _, arch, suite, _ = owner(os.path.realpath(path))
        tools.append({"role": role, "package": package, "version": version, "arch": arch, "suite": suite})
    return {"components": sorted(components.values(), key=lambda c: c["package"]), "tools": tools}


def origin(c):
    return f"Debian {c['suite']} package {c['package']} {c['version']}, {c['arch']}"


def notices_text(found):
    out = ["Third-party notices for zerofil", "",
           "The program zerofil is zerofil's own code, under the MIT licence (see",
           "LICENSE), linked statically with the components below. Each is named",
           "with the Debian package it was taken from, the licence concluded for",
           "what the program links of it (an SPDX expression) and the files that",
           "the link used, followed by that package's copyright file, unchanged.", ""]
    for c in found["components"]:
        out += ["=" * 72,
                f"Component: {c['name']} {c['version']}",
                f"Package: {c['package']} {c['version']} (Debian {c['suite']}, {c['arch']})",
                f"Licence: {c['licence']}",
                f"Linked: {' '.join(c['files'])}",
                "=" * 72, "", c["text"].rstrip("\n"), ""]
    return "\n".join(out) + "\n"


def debian_copyright(found, base):
    """BASE, zerofil's own copyright file, with a paragraph for the program
    that names each component, and each component's copyright file as the
    text of a licence of its own, named after its package."""
    holders = [about("Copyright")]
    for c in found["components"]:
        holders += c["holders"].splitlines()
    names = " and ".join(["Expat"] + [c["package"] for c in found["components"]])
    comment = "The program is zerofil's own code linked statically with: " + "; ".join(
        f"{c['name']} {c['version']} ({origin(c)}: {' '.join(c['files'])}), "
        f"concluded {c['licence']}" for c in found["components"])
    out = [base.rstrip("\n"), "", "Files: usr/bin/zerofil",
           "Copyright: " + "\n ".join(h.strip() for h in holders),
           f"License: {names}", "Comment: " + wrap(comment)]
    for c in found["components"]:
        text = "\n".join(" " + l if l.strip() else " ." for l in c["text"].rstrip("\n").splitlines())
        out += ["", f"License: {c['package']}", text]
    return "\n".join(out) + "\n"


def wrap(text, width=72):
    lines, line = [], ""
    for word in text.split():
        if line and len(line) + 1 + len(word) > width:
            lines.append(line)
            line = word
        else:
            line = f"{line} {word}" if line else word
    return "\n ".join(lines + [line])


def notices(args):
    map_path, cxx, out = args[:3]
    found = scan(map_path, cxx)
    json.dump(found, open(os.path.join(out, "components.json"), "w", encoding="utf-8"), indent=1)
    text = notices_text(found)
    name = NOTICES
    if "--crlf" in args:
        text, name = text.replace("\n", "\r\n"), NOTICES + ".txt"
    open(os.path.join(out, name), "w", encoding="utf-8", newline="").write(text)
    if "--debian" in args:
        base = open(args[args.index("--debian") + 1], encoding="utf-8").read()
        open(os.path.join(out, "copyright"), "w", encoding="utf-8").write(debian_copyright(found, base))


def licence(args):
    terms = [LICENCE]
    # Without a tree: the source's own licence, as a source package has it.
    found = json.load(open(os.path.join(args[0], "components.json"), encoding="utf-8")) if args else {"components": []}
    for c in found["components"]:
        for term in c["licence"].split(" AND "):
            if term not in terms:
                terms.append(term)
    print(" AND ".join(terms))


def spdx_id(*words):
    return "SPDXRef-" + re.sub(r"[^A-Za-z0-9.-]+", "-", "-".join(words))


def program_bytes(path, program):
    """The program PROGRAM in a release archive."""
    if path.endswith(".zip"):
        with zipfile.ZipFile(path) as z:
            return z.read(next(n for n in z.namelist() if n.endswith("/" + program)))
    with tarfile.open(path) as t:
        member = next(m for m in t.getmembers() if m.name.endswith("/" + program))
        return t.extractfile(member).read()


def linked_packages(found):
    """The packages of a program's components and build tools (FOUND, its
    components.json), each with how it relates to the program, and, for a
    component, the licence texts it refers to (refs)."""
    for c in found["components"]:
        c_id = spdx_id("Component", c["package"], c["arch"], c["version"])
        yield ({"name": c["name"], "SPDXID": c_id, "versionInfo": c["version"],
                "supplier": c["supplier"], "downloadLocation": c["download"], "filesAnalyzed": False,
                "licenseConcluded": c["licence"], "licenseDeclared": c["licence"],
                "copyrightText": c["holders"], "primaryPackagePurpose": "LIBRARY",
                "summary": f"From {origin(c)}: {' '.join(c['files'])}",
                "externalRefs": [{"referenceCategory": "PACKAGE-MANAGER", "referenceType": "purl",
                                  "referenceLocator": purl(c)}],
                "refs": c["refs"]},
               lambda prog_id, c_id=c_id: (prog_id, "STATIC_LINK", c_id))
    for t in found["tools"]:
        t_id = spdx_id("Tool", t["package"], t["arch"], t["version"])
        yield ({"name": t["package"], "SPDXID": t_id, "versionInfo": t["version"],
                "downloadLocation": "NOASSERTION", "filesAnalyzed": False, "primaryPackagePurpose": "APPLICATION",
                "summary": f"The {t['role']}, from Debian {t['suite']}",
                "externalRefs": [{"referenceCategory": "PACKAGE-MANAGER", "referenceType": "purl",
                                  "referenceLocator": purl(t)}]},
               lambda prog_id, t_id=t_id: (t_id, "BUILD_TOOL_OF", prog_id))


def sbom(args):
    list_path, dist, version = args[:3]
    epoch = int(os.environ["SOURCE_DATE_EPOCH"])
    rows = csv.DictReader(open(list_path, encoding="utf-8"), delimiter="\t", quoting=csv.QUOTE_NONE)
    files = [r for r in rows if r["format"] not in UNDESCRIBED and os.path.exists(os.path.join(dist, r["file"]))]
    sums = {r["file"]: hashlib.sha256(open(os.path.join(dist, r["file"]), "rb").read()).hexdigest() for r in files}
    packages, relations, refs, seen = [], [], {}, set()

    def add(package):
        if package["SPDXID"] not in seen:
            seen.add(package["SPDXID"])
            packages.append(package)

    programs = {}
    for r in files:
        if r["format"] in ("tar", "zip"):
            data = program_bytes(os.path.join(dist, r["file"]), r["program"])
            programs[r["line"]] = (hashlib.sha256(data).hexdigest(), r["tree"], r["program"])

    # describe_program FILE_ID LINE: FILE_ID contains the program of LINE
    def describe_program(file_id, line):
        digest, tree, program = programs[line]
        prog_id = spdx_id("Program", line)
        relations.append((file_id, "CONTAINS", prog_id))
        if prog_id in seen:
            return
        add({"name": f"zerofil for {line}", "SPDXID": prog_id, "versionInfo": version,
             "packageFileName": program, "downloadLocation": "NOASSERTION", "filesAnalyzed": False,
             "checksums": [{"algorithm": "SHA256", "checksumValue": digest}],
             "primaryPackagePurpose": "APPLICATION", "supplier": "Organization: " + about("Authors"),
             "licenseConcluded": LICENCE, "licenseDeclared": LICENCE,
             "copyrightText": "Copyright (c) " + about("Copyright")})
        found = json.load(open(os.path.join(tree, "components.json"), encoding="utf-8"))
        for package, relation in linked_packages(found):
            add(package)
            relations.append(relation(prog_id))
            refs.update(package.pop("refs", {}))

    for r in files:
        name, form, line = r["file"], r["format"], r["line"]
        file_id = spdx_id("File", name)
        add({"name": name, "SPDXID": file_id, "packageFileName": name, "versionInfo": version,
             "downloadLocation": "NOASSERTION", "filesAnalyzed": False,
             "checksums": [{"algorithm": "SHA256", "checksumValue": sums[name]}],
             "primaryPackagePurpose": PURPOSE.get(form, "ARCHIVE"),
             "supplier": "Organization: " + about("Authors")})
        relations.append(("SPDXRef-DOCUMENT", "DESCRIBES", file_id))
        # The image holds the programs of several lines.
        for line in line.split(",") if form == "image" else [line]:
            if line in programs:
                describe_program(file_id, line)

    names = "\n".join(f"{sums[n]}  {n}" for n in sorted(sums))
    document = {
        "spdxVersion": "SPDX-2.3", "dataLicense": "CC0-1.0", "SPDXID": "SPDXRef-DOCUMENT",
        "name": f"zerofil-{version}",
        "documentNamespace": f"https://example.org/zerofil/spdx/zerofil-{version}-"
                             + hashlib.sha256(names.encode()).hexdigest(),
        "creationInfo": {"created": datetime.fromtimestamp(epoch, timezone.utc).strftime("%Y-%m-%dT%H:%M:%SZ"),
                         "creators": [f"Tool: zerofil-components.py-{version}",
                                      "Organization: " + about("Authors")]},
        "packages": packages,
        "relationships": [{"spdxElementId": a, "relationshipType": r, "relatedSpdxElement": b}
                          for a, r, b in relations],
    }
    if refs:
        document["hasExtractedLicensingInfos"] = [{"licenseId": k, "extractedText": v} for k, v in sorted(refs.items())]
    json.dump(document, sys.stdout, indent=1)
    sys.stdout.write("\n")


def provenance(args):
    list_path, dist, version = args[:3]
    rows = list(csv.DictReader(open(list_path, encoding="utf-8"), delimiter="\t", quoting=csv.QUOTE_NONE))
    made = [r for r in rows if r["format"] not in ("provenance", "sums", "signature")
            and os.path.exists(os.path.join(dist, r["file"]))]
    digest = {r["file"]: hashlib.sha256(open(os.path.join(dist, r["file"]), "rb").read()).hexdigest() for r in made}
    home = about("Homepage")
    release = dict(l.rstrip("\n").split("=", 1) for l in open("/etc/os-release", encoding="utf-8") if "=" in l)
    dependencies = {}

    def depend(p, role):
        uri = purl(p)
        entry = dependencies.setdefault(uri, {"uri": uri, "name": p["package"], "annotations": {"roles": []}})
        if role not in entry["annotations"]["roles"]:
            entry["annotations"]["roles"].append(role)

    for tree in sorted({r["tree"] for r in made if r["tree"] != "-"}):
        found = json.load(open(os.path.join(tree, "components.json"), encoding="utf-8"))
        for c in found["components"]:
            depend(c, "library linked into a program")
        for t in found["tools"]:
            depend(t, t["role"])
    for tool in args[3:]:
        # The Python that runs this is the one that made the papers.
        path = sys.executable if tool == "python3" else shutil.which(tool)
        if not path:
            fail(f"no {tool} found")
        path = os.path.realpath(path)
        try:
            package, version_, _, arch, suite, _ = owner(path, quiet=True)
            depend({"package": package, "version": version_, "arch": arch, "suite": suite}, f"packaging tool: {tool}")
        except LookupError:
            # Not from a Debian package (such as a Python of its own): the
            # program itself, by its digest.
            dependencies[tool] = {"name": tool, "digest": {"sha256": hashlib.sha256(open(path, "rb").read()).hexdigest()},
                                  "annotations": {"roles": [f"packaging tool: {tool}"],
                                                  "note": "not from a Debian package"}}
    source = next((r["file"] for r in made if r["format"] == "source"), None)
    external = {"version": version, "SOURCE_DATE_EPOCH": os.environ["SOURCE_DATE_EPOCH"]}
    if source:
        external["source"] = {"name": source, "digest": {"sha256": digest[source]}}
    statement = {
        "_type": "https://in-toto.io/Statement/v1",
        "subject": [{"name": r["file"], "digest": {"sha256": digest[r["file"]]}} for r in made],
        "predicateType": "https://slsa.dev/provenance/v1",
        "predicate": {
            "buildDefinition": {
                "buildType": f"{home}/build-types/dist-preset/v1",
                "externalParameters": external,
                "resolvedDependencies": [dependencies[k] for k in sorted(dependencies)],
            },
            "runDetails": {
                "builder": {"id": f"{home}/builders/{release.get('ID', 'unknown')}-"
                                  f"{release.get('VERSION_CODENAME', 'unknown').strip(chr(34))}"},
            },
        },
    }
    print(json.dumps(statement, sort_keys=True, separators=(",", ":")))


def quoted(value):
    """A YAML scalar in double quotes: never read as a number or a date."""
    return json.dumps(value, ensure_ascii=False)


def scoop_manifest(out, version, url, zip_row, digest, folder):
    """Scoop's manifest of the zip (ZIP_ROW, its SHA-256 DIGEST, its top
    FOLDER), under OUT, with how the next version is found and fetched."""
    base = url.replace("{version}", version).rstrip("/")
    template = url.rstrip("/").replace("{version}", "$version")
    scoop = {
        "version": version,
        "description": about("Summary"),
        "homepage": about("Homepage"),
        "license": LICENCE,
        "architecture": {"64bit": {"url": base + "/" + zip_row["file"], "hash": digest,
                                   "extract_dir": folder}},
        "bin": zip_row["program"],
        "checkver": {"url": about("Homepage"),
                     "regex": re.escape(zip_row["file"]).replace(re.escape(version), "([\\d.]+)")},
        "autoupdate": {"architecture": {"64bit": {
            "url": template + "/" + zip_row["file"].replace(version, "$version"),
            "extract_dir": folder.replace(version, "$version")}},
            "hash": {"url": "$baseurl/SHA256SUMS"}},
    }
    os.makedirs(os.path.join(out, "scoop"), exist_ok=True)
    with open(os.path.join(out, "scoop", "zerofil.json"), "w", encoding="utf-8") as f:
        json.dump(scoop, f, indent=4)
        f.write("\n")


def manifests(args):
    """The winget manifests (schema 1.12.0, in the layout of the community
    repository) and the Scoop manifest of the Windows release files of
    LIST in DIST, under OUT; URL is where the files are downloaded from,
    {version} standing for the version."""
    list_path, dist, version, url, out = args
    rows = list(csv.DictReader(open(list_path, encoding="utf-8"), delimiter="\t", quoting=csv.QUOTE_NONE))
    zips = [r for r in rows if r["format"] == "zip"]
    msis = [r for r in rows if r["format"] == "msi"]
    if len(zips) != 1 or len(msis) != 1:
        fail(f"{list_path}: {len(zips)} zip and {len(msis)} msi files, want one of each")
    zip_row, msi_row = zips[0], msis[0]
    base = url.replace("{version}", version).rstrip("/")
    sha = lambda r: hashlib.sha256(open(os.path.join(dist, r["file"]), "rb").read()).hexdigest()
    folder = zip_row["file"][:-len(".zip")]
    msi = os.path.join(dist, msi_row["file"])
    table = subprocess.run(["msiinfo", "export", msi, "Property"], capture_output=True, text=True, check=True).stdout
    codes = dict(l.rstrip("\r").split("\t", 1) for l in table.splitlines() if "\t" in l)
    ident = about("Windows-Id")
    head = f"PackageIdentifier: {ident}\nPackageVersion: {quoted(version)}\n"
    tail = "ManifestVersion: 1.12.0\n"
    schema = "# yaml-language-server: $schema=https://aka.ms/winget-manifest.{}.1.12.0.schema.json\n"
    publisher, name = ident.split(".", 1)
    where = os.path.join(out, "winget", "manifests", ident[0].lower(), publisher, name, version)
    os.makedirs(where, exist_ok=True)
    description = (about("Description") + " " + about("Prebuilt")).replace("\n", " ")
    files = {
        f"{ident}.yaml": schema.format("version") + head + "DefaultLocale: en-US\nManifestType: version\n" + tail,
        f"{ident}.installer.yaml": schema.format("installer") + head + (
            "Installers:\n"
            "- Architecture: x64\n"
            "  InstallerType: zip\n"
            "  NestedInstallerType: portable\n"
            "  NestedInstallerFiles:\n"
            f"  - RelativeFilePath: {quoted(folder + '/' + zip_row['program'])}\n"
            "    PortableCommandAlias: zerofil\n"
            f"  InstallerUrl: {quoted(base + '/' + zip_row['file'])}\n"
            f"  InstallerSha256: {sha(zip_row).upper()}\n"
            "- Architecture: x64\n"
            "  InstallerType: wix\n"
            "  Scope: machine\n"
            f"  InstallerUrl: {quoted(base + '/' + msi_row['file'])}\n"
            f"  InstallerSha256: {sha(msi_row).upper()}\n"
            f"  ProductCode: {quoted(codes['ProductCode'])}\n"
            "  AppsAndFeaturesEntries:\n"
            f"  - UpgradeCode: {quoted(codes['UpgradeCode'])}\n"
            "ManifestType: installer\n") + tail,
        f"{ident}.locale.en-US.yaml": schema.format("defaultLocale") + head + (
            "PackageLocale: en-US\n"
            f"Publisher: {quoted(about('Authors'))}\n"
            f"PackageName: {quoted(name)}\n"
            f"PackageUrl: {quoted(about('Homepage'))}\n"
            f"License: {quoted(LICENCE)}\n"
            f"ShortDescription: {quoted(about('Summary'))}\n"
            f"Description: {quoted(description)}\n"
            "ManifestType: defaultLocale\n") + tail,
    }
    for file, text in files.items():
        open(os.path.join(where, file), "w", encoding="utf-8").write(text)
    scoop_manifest(out, version, url, zip_row, sha(zip_row), folder)


def rpmlint(args):
    licences, exceptions = set(), set()
    for row in conclusions():
        more, more_exceptions = terms(row[2])
        licences.update(more)
        exceptions.update(more_exceptions)
    print("ValidLicenses = " + json.dumps(sorted(licences)))
    print("ValidLicenseExceptions = " + json.dumps(sorted(exceptions)))


def purl(p):
    version = urllib.parse.quote(p["version"], safe="")
    return f"pkg:deb/debian/{p['package']}@{version}?arch={p['arch']}&distro={p['suite']}"


if __name__ == "__main__":
    commands = {"notices": notices, "licence": licence, "rpmlint": rpmlint, "sbom": sbom, "provenance": provenance,
                "manifests": manifests}
    if len(sys.argv) < 2 or sys.argv[1] not in commands:
        fail("usage: components.py notices MAP CXX OUT [--crlf] [--debian COPYRIGHT] | licence [TREE]"
             " | rpmlint | sbom LIST DIST VERSION | provenance LIST DIST VERSION TOOL..."
             " | manifests LIST DIST VERSION URL OUT")
    commands[sys.argv[1]](sys.argv[2:])
