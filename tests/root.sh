#!/usr/bin/env bash
# root.sh ROOT make DIST VERSION: a fresh minimal Debian root of the release
# that ROOT names (bullseye, bookworm, trixie), kept in ROOT once made; in
# it, the source tarball from DIST (or this tree's files, when they differ
# from the tarball's commit) built with that release's own CMake, g++ and
# make.
# root.sh ROOT install DIST VERSION: in that root, the static archive's
# program runs, and the .deb installs, works, shows its page and removes
# cleanly.
# root.sh ROOT PROG ARGS...: run PROG with ARGS in the root, with this
# folder and PROG's at the same paths. Prints what PROG printed, exits
# with its status.
# Each enters the root in a mount namespace of its own, as root.
set -euo pipefail
root=$1
shift
suite=${root##*/}

# inside [FOLDER...] -- COMMAND...: run COMMAND in the root, in a mount
# namespace of its own with /dev, /proc and each FOLDER at its own path
inside() {
	# shellcheck disable=SC2016 # expanded by the inner shell
	unshare --mount --propagation private -- sh -c '
		r=$1; shift
		mount --rbind /dev "$r/dev"
		mount -t proc proc "$r/proc"
		while [ "$1" != -- ]; do mkdir -p "$r$1"; mount --rbind "$1" "$r$1"; shift; done
		shift
		exec chroot "$r" "$@"' sh "$root" "$@"
}

case $1 in
make)
	dist=$2 v=$3
	[[ $EUID -eq 0 ]] || { echo "$0: making a root needs root" >&2; exit 1; }
	if [[ ! -f $root.made ]]; then
		rm -rf "$root"
		mkdir -p "${root%/*}"
		make() { mmdebstrap --quiet --variant=minbase --include=cmake,g++,make,man-db "$suite" "$root"; }
		# A failed download is tried once more.
		make || { echo "mmdebstrap failed; once more"; rm -rf "$root"; make; }
		touch "$root.made"
	fi
	rm -rf "$root/src"
	mkdir "$root/src"
	src=$(cd "$(dirname "$0")/.." && pwd -P)
	files=(find . -path ./build -prune -o -type f -print)
	if [[ $(git -C "$src" rev-parse --show-toplevel 2>/dev/null) == "$src" ]]; then
		files=(git ls-files)
	fi
	if [[ ${files[0]} == git && -z $(git -C "$src" status --porcelain --untracked-files=no) ]]; then
		tar -C "$root/src" --strip-components=1 -xzf "$dist/zerofil-$v.tar.gz"
		echo "from zerofil-$v.tar.gz"
	else
		# The tarball is the last commit, or there is none: test what is
		# in the tree.
		(cd "$src" && "${files[@]}" | tar -cf - -T -) | tar -C "$root/src" -xf -
		echo "from the files of this tree, which differ from any source tarball"
	fi
	inside -- sh -c 'cd /src && cmake -S . -B build -DZEROFIL_WERROR=ON -DBUILD_TESTING=OFF && cmake --build build' >"$root.log" 2>&1 ||
		{ cat "$root.log"; exit 1; }
	inside -- sh -c 'cmake --version | head -n 1; g++ --version | head -n 1'
	;;
install)
	dist=$2 v=$3
	deb=zerofil_${v}_amd64.deb
	rm -rf "$root/release"
	mkdir "$root/release"
	cp "$dist/$deb" "$root/release/"
	tar -C "$root/release" -xzf "$dist/zerofil-$v-linux-x86_64.tar.gz"
	# shellcheck disable=SC2016 # expanded by the inner shell
	inside -- sh -euc '
		cd /release
		check() { [ "$(wc -c <"$1")" = "$2" ] && cmp -n "$2" "$1" /dev/zero; }
		./zerofil-*/zerofil 3 f3
		check f3 3
		DEBIAN_FRONTEND=noninteractive apt-get install -y -q ./"$1" >/dev/null
		dpkg -L zerofil >files
		zerofil 5 f5
		check f5 5
		MANWIDTH=80 man zerofil 2>warnings | grep -q "zerofil $2"
		[ ! -s warnings ]
		apt-get remove -y -q zerofil >/dev/null
		while read -r f; do [ -d "$f" ] || [ ! -e "$f" ] || { echo "left: $f"; exit 1; }; done <files
		echo "installed, ran, showed its page and was removed: $(wc -l <files) paths"' sh "$deb" "$v"
	;;
*)
	# shellcheck disable=SC2016 # expanded by the inner shell
	inside "$PWD" "$(cd "$(dirname "$1")" && pwd)" -- sh -c 'cd "$1" && shift && exec "$@"' sh "$PWD" "$@"
	;;
esac
