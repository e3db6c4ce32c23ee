#!/usr/bin/env python3
"""image.py OUT VERSION REVISION PLATFORMS=FOLDER...: the OCI image of the
release's static programs, FROM scratch, as an OCI layout archive OUT
(which podman load, skopeo copy oci-archive: and docker load read).

Each FOLDER is a line's archive folder (the program zerofil, LICENSE and
THIRD-PARTY-NOTICES); PLATFORMS are the OCI platforms its one program
serves, comma-separated (arm/v5,arm/v6,arm/v7). Each platform gets an
image of its own, whose config names that platform: one layer, the
program as /zerofil and its entry point, the licence and notices in
/usr/share/licenses/zerofil/. REVISION is the commit the source is of.

Before anything is written, each program's ELF header is held against the
platforms it is given: another architecture's program stops the image.
Reproducible: every time is SOURCE_DATE_EPOCH, every entry sorted and
owned by 0:0, gzip stores no name or time."""
import datetime
import gzip
import hashlib
import io
import json
import os
import struct
import sys
import tarfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from components import about, LICENCE  # noqa: E402

INDEX = "application/vnd.oci.image.index.v1+json"
MANIFEST = "application/vnd.oci.image.manifest.v1+json"
CONFIG = "application/vnd.oci.image.config.v1+json"
LAYER = "application/vnd.oci.image.layer.v1.tar+gzip"
# OCI's architecture for each ELF machine (e_machine).
MACHINES = {62: "amd64", 183: "arm64", 40: "arm", 243: "riscv64"}


def fail(message):
    sys.exit(f"image.py: {message}")


def elf_arch(path):
    """The OCI architecture of the ELF program at PATH."""
    head = open(path, "rb").read(20)
    if head[:4] != b"\x7fELF":
        fail(f"{path}: not an ELF program")
    endian = "<" if head[5] == 1 else ">"
    machine = struct.unpack(endian + "H", head[18:20])[0]
    if machine not in MACHINES:
        fail(f"{path}: ELF machine {machine}, which no OCI platform here names")
    return MACHINES[machine]


def tar_bytes(entries, epoch):
    """A tar of ENTRIES (name, mode, bytes or None for a folder), sorted."""
    out = io.BytesIO()
    with tarfile.open(fileobj=out, mode="w", format=tarfile.PAX_FORMAT) as tar:
        for name, mode, data in sorted(entries):
            info = tarfile.TarInfo(name)
            info.mtime, info.mode, info.uid, info.gid, info.uname, info.gname = epoch, mode, 0, 0, "", ""
            if data is None:
                info.type = tarfile.DIRTYPE
                tar.addfile(info)
            else:
                info.size = len(data)
                tar.addfile(info, io.BytesIO(data))
    return out.getvalue()


def main(args):
    if len(args) < 4:
        fail("usage: image.py OUT VERSION REVISION PLATFORMS=FOLDER...")
    out, version, revision = args[:3]
    epoch = int(os.environ["SOURCE_DATE_EPOCH"])
    created = datetime.datetime.fromtimestamp(epoch, datetime.timezone.utc).strftime("%Y-%m-%dT%H:%M:%SZ")
    blobs = {}

    def blob(data, media):
        digest = "sha256:" + hashlib.sha256(data).hexdigest()
        blobs[digest] = data
        return {"mediaType": media, "digest": digest, "size": len(data)}

    def dumps(value):
        return json.dumps(value, sort_keys=True, separators=(",", ":")).encode()

    labels = {
        "org.opencontainers.image.title": "zerofil",
        "org.opencontainers.image.description": about("Summary"),
        "org.opencontainers.image.url": about("Homepage"),
        "org.opencontainers.image.source": about("Homepage"),
        "org.opencontainers.image.version": version,
        "org.opencontainers.image.revision": revision,
        "org.opencontainers.image.licenses": LICENCE,
        "org.opencontainers.image.created": created,
    }
    manifests = []
    for arg in args[3:]:
        platforms, _, folder = arg.partition("=")
        program = os.path.join(folder, "zerofil")
        arch = elf_arch(program)
        docs = "usr/share/licenses/zerofil/"
        entries = [("zerofil", 0o755, open(program, "rb").read())]
        entries += [(d, 0o755, None) for d in ("usr/", "usr/share/", "usr/share/licenses/", docs)]
        for doc in ("LICENSE", "THIRD-PARTY-NOTICES"):
            entries.append((docs + doc, 0o644, open(os.path.join(folder, doc), "rb").read()))
        layer = tar_bytes(entries, epoch)
        layer_ref = blob(gzip.compress(layer, compresslevel=9, mtime=0), LAYER)
        for platform in platforms.split(","):
            name, _, variant = platform.partition("/")
            if name != arch:
                fail(f"{program}: a program for {arch}, given as one for {platform}")
            where = {"architecture": name, "os": "linux"}
            if variant:
                where["variant"] = variant
            config = dict(where, created=created, rootfs={
                "type": "layers", "diff_ids": ["sha256:" + hashlib.sha256(layer).hexdigest()]},
                config={"Entrypoint": ["/zerofil"], "Labels": labels},
                history=[{"created": created, "created_by": "scripts/image.py"}])
            manifest = {"schemaVersion": 2, "mediaType": MANIFEST, "config": blob(dumps(config), CONFIG),
                        "layers": [layer_ref], "annotations": {"org.opencontainers.image.created": created}}
            manifests.append(dict(blob(dumps(manifest), MANIFEST), platform=where))
    index = {"schemaVersion": 2, "mediaType": INDEX, "manifests": manifests, "annotations": labels}
    top = dict(blob(dumps(index), INDEX), annotations={"org.opencontainers.image.ref.name": f"zerofil:{version}"})
    entries = [("oci-layout", 0o644, dumps({"imageLayoutVersion": "1.0.0"})),
               ("index.json", 0o644, dumps({"schemaVersion": 2, "mediaType": INDEX, "manifests": [top]})),
               ("blobs/", 0o755, None), ("blobs/sha256/", 0o755, None)]
    entries += [("blobs/sha256/" + d[len("sha256:"):], 0o644, data) for d, data in blobs.items()]
    with open(out, "wb") as f:
        f.write(tar_bytes(entries, epoch))


if __name__ == "__main__":
    main(sys.argv[1:])
