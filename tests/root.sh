#!/usr/bin/env bash
# root.sh ROOT make DIST VERSION: a fresh minimal Debian root of the suite
# that ROOT's name gives (such as bullseye), kept in ROOT once made; in it,
# the source tarball from DIST (or this tree's files, when they differ from
# the tarball's commit) built with that suite's own CMake, g++ and make.
# root.sh ROOT install DIST LIST VERSION: in that root, the program of
# the archive in DIST for this machine's architecture (named in LIST,
# release-files.tsv) runs, and the .deb installs, works, shows its page and removes cleanly.
# root.sh ROOT built: the path of the program that the root's own compiler
# built, which the rows must be running.
# root.sh ROOT PROG ARGS...: run PROG with ARGS in the root, with this
# folder and PROG's at the same paths. Prints what PROG printed, exits
# with its status. Where file descriptor 4 is open, first writes to it
# where it ran and what: the root's own mark and PROG's device and inode,
# as seen inside the root.
# Each enters the root in a mount namespace of its own, as root.
set -euo pipefail
root=$1
shift
suite=${root##*/}
built=$root/src/build/zerofil
src=$(cd "$(dirname "$0")/.." && pwd -P)
# shellcheck source-path=SCRIPTDIR/.. source=scripts/lib.sh
. "$src/scripts/lib.sh"

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

# debian DIR: a minimal root of the suite, with what builds the program
debian() { debian_tree "$suite" "$1" --variant=minbase --include=cmake,g++,make,man-db; }

case $1 in
make)
	dist=$2 v=$3
	((EUID == 0)) || fails "$0: making a root needs root"
	made "$root" debian
	# The root's own mark, which a run inside it reports: unique to it.
	[[ -s $root/etc/zerofil-root ]] || echo "$suite $(cat /proc/sys/kernel/random/uuid)" >"$root/etc/zerofil-root"
	rm -rf "$root/src"
	mkdir "$root/src"
	if clean_checkout "$src"; then
		tar -C "$root/src" --strip-components=1 -xzf "$dist/zerofil-$v.tar.gz"
		echo "from zerofil-$v.tar.gz"
	else
		# The tarball is the last commit, or there is none: test what is
		# in the tree.
		files=(find . -path ./build -prune -o -type f -print)
		! own_checkout "$src" || files=(git ls-files)
		(cd "$src" && "${files[@]}" | tar -cf - -T -) | tar -C "$root/src" -xf -
		echo "from the files of this tree, which differ from any source tarball"
	fi
	inside -- sh -c 'cd /src && cmake -S . -B build -DZEROFIL_WERROR=ON -DBUILD_TESTING=OFF && cmake --build build' >"$root.log" 2>&1 ||
		{ cat "$root.log"; exit 1; }
	cc=$(inside -- g++ --version | head -n 1)
	inside -- cmake --version | head -n 1
	echo "$cc"
	# Built by the root's own compiler, whose version the program records.
	comment=$(readelf -p .comment "$built")
	[[ $comment == *"${cc#g++ }"* ]] || fails "$built was not built by the root's $cc: $comment"
	;;
built)
	echo "$built"
	;;
install)
	dist=$2 list=$3 v=$4
	arch=$(dpkg --print-architecture)
	read -r deb line < <(release_files "$list" "file line arch" deb | awk -F '\t' -v a="$arch" '$3 == a { print $1, $2 }')
	[[ -n ${deb-} ]] || fails "$list: no .deb for $arch"
	archive=$(release_files "$list" "file line" tar | awk -F '\t' -v l="$line" '$2 == l { print $1 }')
	rel=$root/release
	rm -rf "$rel"
	mkdir "$rel"
	cp "$dist/$deb" "$rel/"
	tar -C "$rel" --strip-components=1 -xzf "$dist/$archive"
	inside -- sh -c 'cd /release && ./zerofil 3 f3'
	zeros "$rel/f3" 3
	inside -- env DEBIAN_FRONTEND=noninteractive apt-get install -y -q "/release/$deb" >/dev/null
	inside -- dpkg -L zerofil >"$rel/files"
	inside -- sh -c 'cd /release && zerofil 5 f5'
	zeros "$rel/f5" 5
	page_renders "$v" inside -- man --warnings zerofil
	inside -- apt-get remove -y -q zerofil >/dev/null
	while read -r f; do
		[[ -d $root$f || (! -e $root$f && ! -L $root$f) ]] || fails "left: $f"
	done <"$rel/files"
	echo "installed, ran, showed its page and was removed: $(wc -l <"$rel/files") paths"
	;;
*)
	# shellcheck disable=SC2016 # expanded by the inner shell
	inside "$PWD" "$(cd "$(dirname "$1")" && pwd)" -- sh -c '
		cd "$1" && shift
		if { true >&4; } 2>/dev/null; then
			echo "$(cat /etc/zerofil-root) $(stat -L -c %d:%i "$1")" >&4
		fi
		exec "$@" 4>&-' sh "$PWD" "$@"
	;;
esac
