#!/usr/bin/env bash
# channels.sh aur RECIPES DIST: the release's PKGBUILD (RECIPES/aur, as
# scripts/recipes.sh made it) builds with makepkg as an unprivileged user,
# from DIST's source tarball, with Arch's flags (packaging/arch/makepkg.conf),
# its check() running the table; its .SRCINFO is what makepkg prints for
# it; built twice, the package is the same file; it installs into an empty
# pacman root, runs from there, and removes leaving nothing.
# channels.sh image RECIPES DIST LIST: each platform of the release's
# container image holds a program of that platform's architecture (by its
# ELF header, and for arm, code no newer than its variant), with its
# licence, notices and labels; the amd64 image runs here under podman and
# runc, with a folder of this machine mounted, and makes an exact file of
# zeros there; a bad size and an unwritable folder give the program's own
# line and status 1, as on the host.
# channels.sh recipes RECIPES DIST: the Homebrew formula and the Nix
# expression parse (ruby -c, nix-instantiate --parse), and name the
# release's source tarball by its address and digest, its version and its
# licence. Neither Homebrew nor Nix can build here: this is all they get.
set -euo pipefail
job=$1 recipes=$2 dist=$3
src=$(cd "$(dirname "$0")/.." && pwd -P)
# shellcheck source-path=SCRIPTDIR/.. source=scripts/lib.sh
. "$src/scripts/lib.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# field FILE NAME: the value of NAME = VALUE in a .SRCINFO
field() { sed -n "s/^\t$2 = //p" "$1"; }
srcinfo=$recipes/aur/.SRCINFO
[[ -f $srcinfo ]] || fails "$0: no $srcinfo: the release makes it (cmake --workflow --preset dist)"
tarball=$(field "$srcinfo" source)
tarball=${tarball##*/}
[[ -f $dist/$tarball ]] || fails "$0: no $dist/$tarball, which the recipes build"

# image_platforms: each platform of the image holds a program of its
# architecture, no newer than its variant, with its papers and labels
image_platforms() {
	mkdir "$work/layout"
	tar -C "$work/layout" -xf "$image"
	# Each platform's program, by what readelf says of it.
	python3 - "$work/layout" "$work" <<-'EOF' >"$work/platforms"
		import json, os, sys, tarfile, gzip, io
		layout, work = sys.argv[1:]
		blob = lambda d: open(os.path.join(layout, "blobs", *d.split(":")), "rb").read()
		top = json.load(open(os.path.join(layout, "index.json")))
		index = json.loads(blob(top["manifests"][0]["digest"]))
		for n, entry in enumerate(index["manifests"]):
		    manifest = json.loads(blob(entry["digest"]))
		    config = json.loads(blob(manifest["config"]["digest"]))
		    where = entry["platform"]
		    said = {k: config.get(k) for k in ("architecture", "os", "variant")}
		    if {k: where.get(k) for k in said} != said:
		        sys.exit(f"{where}: its config says {said}")
		    folder = os.path.join(work, f"layer{n}")
		    for layer in manifest["layers"]:
		        tarfile.open(fileobj=io.BytesIO(gzip.decompress(blob(layer["digest"])))).extractall(folder)
		    labels = config["config"]["Labels"]
		    print(where["architecture"], where.get("variant", "-"), folder, " ".join(config["config"]["Entrypoint"]),
		          labels["org.opencontainers.image.version"], labels["org.opencontainers.image.licenses"],
		          labels["org.opencontainers.image.created"], labels["org.opencontainers.image.revision"])
	EOF
	licence=$(python3 "$src/scripts/components.py" licence)
	while read -r arch variant folder entry v l created revision; do
		platform=$arch${variant/#-/}
		[[ $variant == - ]] || platform=$arch/$variant
		machine=$(readelf -h "$folder/zerofil" | sed -n 's/^ *Machine: *//p')
		case $arch in
		amd64) want="Advanced Micro Devices X86-64" ;;
		arm64) want=AArch64 ;;
		arm) want=ARM ;;
		riscv64) want=RISC-V ;;
		*) fails "$0: $platform: no architecture this check knows" ;;
		esac
		[[ $machine == "$want" ]] || fails "$0: $platform: its program is for $machine"
		if [[ $arch == arm ]]; then
			# The oldest Arm the code needs, v5TE or v7, is no newer than the variant.
			needs=$(readelf -A "$folder/zerofil" | sed -n 's/^ *Tag_CPU_arch: v\([0-9]*\).*/\1/p')
			((${needs:-99} <= ${variant#v})) || fails "$0: $platform: its program needs ARMv$needs"
		fi
		[[ $entry == /zerofil && -x $folder/zerofil ]] || fails "$0: $platform: its entry point is $entry"
		for doc in LICENSE THIRD-PARTY-NOTICES; do
			[[ -s $folder/usr/share/licenses/zerofil/$doc ]] || fails "$0: $platform: no $doc"
		done
		[[ $v == "$version" && $l == "$licence" && $revision =~ ^[0-9a-f]{40}$|^unknown$ ]] ||
			fails "$0: $platform: labels version $v, licences $l, revision $revision"
		[[ $created == "$(date -u -d "@$(tar -xzOf "$dist/$tarball" "${tarball%.tar.gz}/packaging/source-date")" +%Y-%m-%dT%H:%M:%SZ)" ]] ||
			fails "$0: $platform: created $created, not the release's time"
		echo "$platform: $machine${needs:+, ARMv$needs code}"
		needs=""
	done <"$work/platforms"
}

# image_runs: the amd64 image runs here, makes its file of zeros in a
# folder of this machine, and refuses as the program does here
image_runs() {
	# Run here, from a storage of its own, under runc with low limits.
	storage="vfs@$work/storage+$work/run"
	podman=(podman --root "$work/storage" --runroot "$work/run" --storage-driver vfs)
	quietly skopeo copy --override-arch amd64 "oci-archive:$image:zerofil:$version" "containers-storage:[$storage]localhost/zerofil:$version"
	mkdir -m 777 "$work/w" "$work/ro"
	# in_image_with [PODMAN...] -- ARGS...: the program in the image, with
	# a folder of this machine at /w and a read-only one at /ro
	in_image_with() {
		local opts=()
		while [[ $1 != -- ]]; do opts+=("$1"); shift; done
		shift
		"${podman[@]}" run --runtime runc --ulimit nofile=1024:1024 --ulimit nproc=1024:1024 "${opts[@]}" \
			--network none --rm -v "$work/w:/w" -v "$work/ro:/ro:ro" -w /w "localhost/zerofil:$version" "$@"
	}
	size=$(($(block_size) + 1))
	in_image_with -- "$size" f || fails "$0: the image did not make f"
	zeros "$work/w/f" "$size"
	host=$work/layer0/zerofil
	mkdir "$work/here"
	# refused HOW [PODMAN...] -- ARGS...: the image's program refuses ARGS
	# with status 1 and one line on standard error: the host's, for the
	# same ARGS, HOW it is run here (same: as it is; limit: under the same
	# file-size limit; ro: its line for a missing folder, the path the
	# read-only one)
	refused() {
		local how=$1 opts=() st=0
		shift
		while [[ $1 != -- ]]; do opts+=("$1"); shift; done
		shift
		in_image_with "${opts[@]}" -- "$@" >"$work/out" 2>"$work/err" || st=$?
		case $how in
		same) (cd "$work/here" && "$host" "$@") 2>"$work/want" || true ;;
		limit) (cd "$work/here" && ulimit -f 1024 && "$host" "$@") 2>"$work/want" || true ;;
		ro) (cd "$work/here" && "$host" 10 /nodir/f) 2>&1 | sed "s|/nodir/f|$2|" >"$work/want" || true ;;
		esac
		sed -i "s|^$host:|/zerofil:|" "$work/want"
		((st == 1)) || fails "$0: zerofil $*: status $st in the image, want 1"
		diff "$work/want" "$work/err" || fails "$0: zerofil $*: another line in the image than here"
		[[ ! -s $work/out ]] || fails "$0: zerofil $*: wrote on standard output"
		echo "zerofil $* in the image: status 1, $(<"$work/err")"
	}
	refused same -- 10 /w/nodir/f
	refused ro -- 10 /ro/f
	# Past a file-size limit of 1 MiB: it stops there and says so.
	refused limit --ulimit fsize=1048576:1048576 -- -1 big
	[[ $(stat -c %s "$work/w/big") == 1048576 ]] || fails "$0: the image's program kept $(stat -c %s "$work/w/big") bytes, want 1048576"
	rm -f "$work/w/big"
	"${podman[@]}" rmi -a -f >/dev/null
	echo "the amd64 image made $size zero bytes in a folder of this machine, under podman $(podman --version | awk '{ print $NF }') and runc"
}

case $job in
aur)
	# As nobody, as makepkg wants: the tarball beside the PKGBUILD, where
	# makepkg takes it instead of downloading it.
	cp "$recipes/aur/PKGBUILD" "$recipes/aur/.SRCINFO" "$dist/$tarball" "$work/"
	cat /etc/makepkg.conf "$src/packaging/arch/makepkg.conf" >"$work/makepkg.conf"
	chown -R 65534:65534 "$work"
	as_nobody() {
		# shellcheck disable=SC2016 # expanded by the inner shell
		setpriv --reuid=65534 --regid=65534 --clear-groups -- env HOME="$work" PATH="$PATH" \
			sh -c 'cd "$0" && exec "$@"' "$work" "$@"
	}
	as_nobody makepkg --printsrcinfo >"$work/printed"
	diff -u "$work/printed" "$work/.SRCINFO" || fails "$0: aur/.SRCINFO is not what makepkg --printsrcinfo prints"
	echo ".SRCINFO: what makepkg $(makepkg --version | head -n 1 | awk '{ print $NF }') prints"
	# Twice, from nothing, at the same time stamp: the same package. The
	# table runs the first time.
	again=()
	# The release's own time, which the tarball carries.
	SOURCE_DATE_EPOCH=$(tar -xzOf "$dist/$tarball" "${tarball%.tar.gz}/packaging/source-date")
	export SOURCE_DATE_EPOCH
	for n in 1 2; do
		as_nobody makepkg --config "$work/makepkg.conf" --nodeps --cleanbuild --force --noconfirm "${again[@]}" \
			>"$work/build$n.log" 2>&1 || { tail -n 40 "$work/build$n.log"; fails "$0: makepkg failed"; }
		pkgs=("$work"/zerofil-*.pkg.tar.zst)
		((${#pkgs[@]} == 1)) || fails "$0: makepkg made ${#pkgs[@]} packages, want 1"
		mv "${pkgs[0]}" "$work/$n.pkg"
		again=(--nocheck)
	done
	pkg=${pkgs[0]##*/}
	if ! grep -qE '^==> Starting check\(\)' "$work/build1.log" || ! grep -q 'Passed' "$work/build1.log"; then
		tail -n 40 "$work/build1.log"
		fails "$0: check() did not run the table"
	fi
	grep -E '^ *1/1 Test +#1: table' "$work/build1.log"
	cmp "$work/1.pkg" "$work/2.pkg" || fails "$0: two builds at the same SOURCE_DATE_EPOCH differ"
	echo "$pkg: built twice, the same $(stat -c %s "$work/1.pkg") bytes"
	# Arch's flags reached the compiler and the linker, LTO's among them.
	cache=$work/src/build/CMakeCache.txt
	grep -q '^CMAKE_CXX_FLAGS:STRING=.*-D_GLIBCXX_ASSERTIONS.*-flto=auto' "$cache" ||
		fails "$0: $pkg was not built with Arch's CXXFLAGS: $(grep '^CMAKE_CXX_FLAGS:' "$cache")"
	grep -q '^CMAKE_EXE_LINKER_FLAGS:STRING=.*pack-relative-relocs.*-flto=auto' "$cache" ||
		fails "$0: $pkg was not built with Arch's LDFLAGS: $(grep '^CMAKE_EXE_LINKER_FLAGS:' "$cache")"
	# Into an empty root; nothing there provides what it depends on (-dd).
	root=$work/root
	db=(--root "$root" --dbpath "$root/var/lib/pacman" --noconfirm)
	mkdir -p "$root/var/lib/pacman"
	quietly pacman -U -dd "${db[@]}" "$work/1.pkg"
	pacman -Q "${db[@]}" zerofil
	files=$(pacman -Ql "${db[@]}" zerofil | awk -v r="$root" '{ print substr($2, length(r) + 1) }')
	for want in /usr/bin/zerofil /usr/share/man/man1/zerofil.1.gz /usr/share/licenses/zerofil/LICENSE; do
		grep -qxF "$want" <<<"$files" || fails "$0: $pkg holds no $want: $(echo "$files" | tr "\n" " ")"
	done
	[[ $(pacman -Qi "${db[@]}" zerofil | sed -n 's/^Licenses *: //p') == "$(field "$srcinfo" license)" ]] ||
		fails "$0: $pkg's licence is not the PKGBUILD's"
	(cd "$work" && "$root/usr/bin/zerofil" 5 f5)
	zeros "$work/f5" 5
	quietly pacman -R "${db[@]}" zerofil
	left=$(cd "$root" && find . -mindepth 1 -not -path './var' -not -path './var/lib' -not -path './var/lib/pacman*')
	[[ -z $left ]] || fails "$0: pacman -R left: $left"
	echo "installed into an empty root, ran, and removed leaving nothing: $(wc -l <<<"$files") paths"
	;;
image)
	list=$4
	image=$dist/$(release_files "$list" file image)
	version=$(field "$srcinfo" pkgver)
	image_platforms
	image_runs
	;;
recipes)
	sha=$(sha256sum "$dist/$tarball" | cut -d ' ' -f 1)
	version=$(field "$srcinfo" pkgver)
	licence=$(python3 "$src/scripts/components.py" licence)
	formula=$recipes/homebrew/zerofil.rb nix=$recipes/nix/package.nix
	ruby -c "$formula" >/dev/null || fails "$0: $formula: not Ruby"
	nix-instantiate --parse "$nix" >/dev/null || fails "$0: $nix: not Nix"
	# has FILE WHAT TEXT: FILE holds TEXT, a line of its own
	has() { grep -qxF -- "$3" "$1" || fails "$0: ${1##*/}: no $2 \"$3\""; }
	url=$(field "$srcinfo" source)
	has "$formula" address "  url \"$url\""
	has "$formula" digest "  sha256 \"$sha\""
	has "$formula" licence "  license \"$licence\""
	[[ $url == *"/zerofil-$version.tar.gz" ]] || fails "$0: $url: not version $version"
	has "$nix" address "    url = \"$url\";"
	has "$nix" version "  version = \"$version\";"
	sri=sha256-$(python3 -c 'import base64, sys; print(base64.b64encode(bytes.fromhex(sys.argv[1])).decode())' "$sha")
	has "$nix" digest "    hash = \"$sri\";"
	has "$nix" "main program" '    mainProgram = "zerofil";'
	grep -qE '^    license = lib\.licenses\.[a-z0-9]+;$' "$nix" || fails "$0: ${nix##*/}: no licence"
	echo "the formula and the Nix expression parse, and name $tarball ($sha), $version and $licence"
	;;
*) fails "$0: no job $job: aur, image or recipes" ;;
esac
