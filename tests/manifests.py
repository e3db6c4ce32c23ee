#!/usr/bin/env python3
"""manifests.py DIST MANIFESTS: the winget and Scoop manifests that the
release made in MANIFESTS hold what their schemas require, in the forms
they require, and what winget checks beyond its schema; every file they
name is a release file of DIST (or a file in its zip), by its digest.
manifests.py --catches DIST MANIFESTS: each fault of a list, put into the
manifests, fails the check, and the manifests as made pass it.

winget validate needs Windows: this holds the rules it applies that the
release can break."""

import copy
import hashlib
import json
import os
import re
import subprocess
import sys
import zipfile

import yaml

VERSION = "1.12.0"
# Each winget manifest by its type: the fields its schema requires.
REQUIRED = {
    "version": ("PackageIdentifier", "PackageVersion", "DefaultLocale", "ManifestType", "ManifestVersion"),
    "installer": ("PackageIdentifier", "PackageVersion", "Installers", "ManifestType", "ManifestVersion"),
    "defaultLocale": ("PackageIdentifier", "PackageVersion", "PackageLocale", "Publisher", "PackageName",
                      "License", "ShortDescription", "ManifestType", "ManifestVersion"),
}
INSTALLER = ("Architecture", "InstallerType", "InstallerUrl", "InstallerSha256")
SCOOP = ("version", "description", "homepage", "license", "architecture", "bin", "checkver", "autoupdate")
# The forms of the schemas' patterns.
IDENTIFIER = re.compile(r'[^.\s\\/:*?"<>|\x01-\x1f]{1,32}(\.[^.\s\\/:*?"<>|\x01-\x1f]{1,32}){1,7}')
PACKAGE_VERSION = re.compile(r'[^\\/:*?"<>|\x01-\x1f]{1,128}')
SHA256 = re.compile(r"[0-9A-Fa-f]{64}")
URL = re.compile(r"https?://\S+")
GUID = re.compile(r"\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\}")


def load(manifests):
    """The manifests: winget's by type, with the folder they are in and
    their text, and Scoop's."""
    winget = {"text": {}}
    for top, _, files in os.walk(os.path.join(manifests, "winget")):
        for f in files:
            text = open(os.path.join(top, f), encoding="utf-8").read()
            doc = yaml.safe_load(text)
            kind = doc.get("ManifestType") if isinstance(doc, dict) else f
            winget[kind] = (f, doc)
            winget["text"][kind] = text
            winget["folder"] = os.path.relpath(top, os.path.join(manifests, "winget"))
    scoop = json.load(open(os.path.join(manifests, "scoop", "zerofil.json"), encoding="utf-8"))
    return winget, scoop


def msi_properties(path):
    """The MSI's Property table, as msiinfo reads it."""
    out = subprocess.run(["msiinfo", "export", path, "Property"], check=True, capture_output=True, text=True).stdout
    return dict(l.rstrip("\r").split("\t", 1) for l in out.splitlines() if "\t" in l)


def check(dist, winget, scoop):
    """The faults of the manifests, as lines."""
    faults = []
    sums = dict(reversed(l.split()) for l in open(os.path.join(dist, "SHA256SUMS"), encoding="utf-8"))

    def named(url, what):
        """The release file that URL names, by its digest; None if none."""
        if not isinstance(url, str) or not URL.fullmatch(url):
            faults.append(f"{what}: {url!r} is not a URL")
            return None
        name = url.rsplit("/", 1)[-1]
        if name not in sums:
            faults.append(f"{what}: {name} is not a release file of SHA256SUMS")
            return None
        return name

    check_winget(faults, winget)
    if "installer" in winget:
        check_installers(faults, dist, sums, named, winget)
    check_scoop(faults, dist, sums, named, scoop)
    return faults


def check_winget(faults, winget):
    """Each winget manifest: its fields, its version, its folder."""
    for kind, fields in REQUIRED.items():
        if kind not in winget:
            faults.append(f"winget: no {kind} manifest")
            continue
        f, doc = winget[kind]
        missing = [k for k in fields if k not in doc]
        if missing:
            faults.append(f"winget {f}: lacks {', '.join(missing)}")
        if doc.get("ManifestVersion") != VERSION:
            faults.append(f"winget {f}: ManifestVersion {doc.get('ManifestVersion')!r}, want {VERSION}")
        if not IDENTIFIER.fullmatch(str(doc.get("PackageIdentifier", ""))):
            faults.append(f"winget {f}: PackageIdentifier {doc.get('PackageIdentifier')!r}")
        version = doc.get("PackageVersion")
        if not isinstance(version, str) or not PACKAGE_VERSION.fullmatch(version):
            faults.append(f"winget {f}: PackageVersion {version!r} is not a version string")
        elif not re.search(rf'^PackageVersion: "{re.escape(version)}"$', winget["text"].get(kind, ""), re.M):
            # Unquoted, YAML reads a version such as 1.10 as the number 1.1.
            faults.append(f"winget {f}: PackageVersion {version} is not quoted")
        elif winget.get("folder", "").split(os.sep)[-3:] != \
                [*str(doc.get("PackageIdentifier", "")).split(".", 1), version]:
            faults.append(f"winget {f}: in {winget.get('folder')}, not manifests/<letter>/<Publisher>/<Name>/{version}")


def check_installers(faults, dist, sums, named, winget):
    """Each installer of winget's installer manifest, held against its file."""
    f, doc = winget["installer"]
    installers = doc.get("Installers")
    if not isinstance(installers, list) or not installers:
        installers = []
        faults.append(f"winget {f}: no installer")
    aliases = []
    for n, i in enumerate(installers, 1):
        what = f"winget {f}: installer {n}"
        missing = [k for k in INSTALLER if k not in i and k not in doc]
        if missing:
            faults.append(f"{what}: lacks {', '.join(missing)}")
        digest = str(i.get("InstallerSha256", ""))
        if not SHA256.fullmatch(digest):
            faults.append(f"{what}: InstallerSha256 {digest!r} is not 64 hex digits")
        name = named(i.get("InstallerUrl"), what)
        if name and digest.lower() != sums[name]:
            faults.append(f"{what}: InstallerSha256 is not that of {name} in SHA256SUMS")
        if i.get("InstallerType") == "zip":
            aliases += check_zip(faults, dist, what, name, i)
        elif i.get("InstallerType") in ("msi", "wix"):
            check_msi(faults, dist, what, name, i, winget)
    if len(aliases) != len(set(aliases)):
        faults.append(f"winget {f}: PortableCommandAlias values repeat: {aliases}")


def check_zip(faults, dist, what, name, i):
    """A zip installer, by winget's own rules for an archive; its aliases."""
    aliases = []
    if not i.get("NestedInstallerType"):
        faults.append(f"{what}: a zip without NestedInstallerType")
    nested = i.get("NestedInstallerFiles") or []
    if not nested:
        faults.append(f"{what}: a zip without NestedInstallerFiles")
    for entry in nested:
        path = str(entry.get("RelativeFilePath", ""))
        parts = re.split(r"[\\/]", path)
        if not path or path.startswith(("/", "\\")) or ":" in path or ".." in parts:
            faults.append(f"{what}: RelativeFilePath {path!r} leaves the archive")
        elif name and "/".join(parts) not in zipfile.ZipFile(os.path.join(dist, name)).namelist():
            faults.append(f"{what}: {path} is not in {name}")
        if "PortableCommandAlias" in entry:
            aliases.append(entry["PortableCommandAlias"])
    return aliases


def check_msi(faults, dist, what, name, i, winget):
    """An MSI installer: its codes, scope and version, as the MSI has them."""
    upgrades = [e.get("UpgradeCode") for e in i.get("AppsAndFeaturesEntries", [])]
    for code in (i.get("ProductCode"), *upgrades):
        if not GUID.fullmatch(str(code)):
            faults.append(f"{what}: {code!r} is not a GUID in braces")
    if not name:
        return
    msi = msi_properties(os.path.join(dist, name))
    if i.get("ProductCode") != msi.get("ProductCode"):
        faults.append(f"{what}: ProductCode {i.get('ProductCode')}, {name} has {msi.get('ProductCode')}")
    if upgrades != [msi.get("UpgradeCode")]:
        faults.append(f"{what}: UpgradeCode {upgrades}, {name} has {msi.get('UpgradeCode')}")
    scope = "machine" if msi.get("ALLUSERS") == "1" else "user"
    if i.get("Scope") != scope:
        faults.append(f"{what}: Scope {i.get('Scope')!r}, {name} installs per {scope}")
    for kind in REQUIRED:
        got = winget.get(kind, (None, {}))[1].get("PackageVersion")
        if got != msi.get("ProductVersion"):
            faults.append(f"winget {kind}: PackageVersion {got!r}, {name} has {msi.get('ProductVersion')}")


def check_scoop(faults, dist, sums, named, scoop):
    """Scoop's manifest: its zip, its program in it, its autoupdate."""
    missing = [k for k in SCOOP if k not in scoop]
    if missing:
        faults.append(f"scoop zerofil.json: lacks {', '.join(missing)}")
    arch = scoop.get("architecture", {}).get("64bit", {})
    name = named(arch.get("url"), "scoop zerofil.json: 64bit")
    if not SHA256.fullmatch(str(arch.get("hash", ""))):
        faults.append(f"scoop zerofil.json: hash {arch.get('hash')!r} is not 64 hex digits")
    elif name and arch["hash"].lower() != sums[name]:
        faults.append(f"scoop zerofil.json: hash is not that of {name} in SHA256SUMS")
    if name:
        inside = zipfile.ZipFile(os.path.join(dist, name)).namelist()
        program = f"{arch.get('extract_dir')}/{scoop.get('bin')}"
        if program not in inside:
            faults.append(f"scoop zerofil.json: {program} (extract_dir/bin) is not in {name}")
    auto = scoop.get("autoupdate", {})
    url = auto.get("architecture", {}).get("64bit", {}).get("url", "")
    # The next version's zip has its own folder.
    folder = str(auto.get("architecture", {}).get("64bit", {}).get("extract_dir", ""))
    if "$version" not in folder or folder.replace("$version", str(scoop.get("version"))) != arch.get("extract_dir"):
        faults.append(f"scoop zerofil.json: autoupdate's extract_dir {folder!r} is not the extract_dir at $version")
    if url.replace("$version", str(scoop.get("version"))) != arch.get("url"):
        faults.append(f"scoop zerofil.json: autoupdate's url {url!r} is not the url at $version")
    if not str(auto.get("hash", {}).get("url", "")).endswith("/SHA256SUMS"):
        faults.append("scoop zerofil.json: autoupdate does not read its hash from SHA256SUMS")


# Faults to put into the manifests, each of which the check must catch:
# what it is, and how it is made, on (winget, scoop).
def drop(d, key):
    d.pop(key)


FAULTS = [
    ("winget: the installer manifest without ManifestVersion",
     lambda w, s: drop(w["installer"][1], "ManifestVersion")),
    ("winget: an installer without its InstallerSha256",
     lambda w, s: drop(w["installer"][1]["Installers"][0], "InstallerSha256")),
    ("winget: a wrong digest for the MSI",
     lambda w, s: w["installer"][1]["Installers"][1].update(InstallerSha256="0" * 64)),
    ("winget: PackageVersion read as a number",
     lambda w, s: w["version"][1].update(PackageVersion=1.1)),
    ("winget: the locale without License", lambda w, s: drop(w["defaultLocale"][1], "License")),
    ("winget: a zip without NestedInstallerType",
     lambda w, s: drop(w["installer"][1]["Installers"][0], "NestedInstallerType")),
    ("winget: a nested file outside the archive",
     lambda w, s: w["installer"][1]["Installers"][0]["NestedInstallerFiles"][0].update(
         RelativeFilePath="../zerofil.exe")),
    ("winget: an alias twice",
     lambda w, s: w["installer"][1]["Installers"][0]["NestedInstallerFiles"].append(
         dict(w["installer"][1]["Installers"][0]["NestedInstallerFiles"][0]))),
    ("scoop: without bin", lambda w, s: drop(s, "bin")),
    ("scoop: the zip's hash of another file",
     lambda w, s: s["architecture"]["64bit"].update(hash=hashlib.sha256(b"another").hexdigest())),
    ("scoop: an extract_dir the zip has not",
     lambda w, s: s["architecture"]["64bit"].update(extract_dir="zerofil")),
    ("winget: PackageVersion unquoted",
     lambda w, s: w["text"].update(version=re.sub(r'^(PackageVersion: )"(.*)"$', r"\1\2", w["text"]["version"],
                                                  flags=re.M))),
    ("winget: the MSI's UpgradeCode as its ProductCode",
     lambda w, s: w["installer"][1]["Installers"][1].update(
         ProductCode=w["installer"][1]["Installers"][1]["AppsAndFeaturesEntries"][0]["UpgradeCode"])),
    ("winget: the MSI installed per user", lambda w, s: w["installer"][1]["Installers"][1].update(Scope="user")),
    ("scoop: autoupdate's extract_dir fixed at this version",
     lambda w, s: s["autoupdate"]["architecture"]["64bit"].update(
         extract_dir=s["architecture"]["64bit"]["extract_dir"])),
]


def main():
    catches = sys.argv[1] == "--catches"
    dist, manifests = sys.argv[2:4] if catches else sys.argv[1:3]
    winget, scoop = load(manifests)
    faults = check(dist, winget, scoop)
    if faults:
        sys.exit("\n".join(faults))
    if not catches:
        print(f"the winget and Scoop manifests hold: {', '.join(sorted(k for k in winget if k not in ('folder', 'text')))}, "
              f"zerofil.json, in {os.path.join('winget', winget['folder'])} and scoop")
        return
    missed = []
    for what, put in FAULTS:
        w, s = copy.deepcopy(winget), copy.deepcopy(scoop)
        put(w, s)
        found = check(dist, w, s)
        print(f"caught: {what}: {found[0]}" if found else f"NOT caught: {what}")
        if not found:
            missed.append(what)
    if missed:
        sys.exit(f"{len(missed)} faults not caught")


main()
