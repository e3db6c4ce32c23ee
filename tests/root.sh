#!/usr/bin/env bash
# root.sh ROOT make DIST VERSION: a fresh minimal Debian root of the suite
# that ROOT's name gives (such as bullseye), kept in ROOT once made; in it,
# the source tarball from DIST (or this tree's files, when they differ from
# the tarball's commit) built with that suite's own CMake, g++ and make.
# root.sh ROOT install DIST LIST VERSION: in that root, the program of
# the archive in DIST for this machine's architecture (named in LIST,
# release-files.tsv) runs, and the .deb installs, works, shows its page and removes cleanly.
# root.sh ROOT source DIST LIST VERSION [control]: in that root, the Debian source
# package of DIST unpacks with dpkg-source -x, its build dependencies
# install, dpkg-buildpackage builds it as an unprivileged user (its tests
# run), this machine's lintian finds nothing in the .changes, the .dsc and
# the .deb but what their overrides say, autopkgtest passes against the
# built .deb, and the package installs, runs from /usr/bin and removes;
# with control, autopkgtest's table then fails against a program that
# does nothing.
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

# source_control DEB VERSION: a control of autopkgtest: the table fails
# against DEB with a program that does nothing, so that its pass says
# something
source_control() {
	local deb=$1 v=$2
	# shellcheck disable=SC2016 # expanded inside the root
	inside -- sh -c 'cd /deb-src && rm -rf broken && dpkg-deb -R "$0" broken &&
		printf "#!/bin/sh\nexit 0\n" >broken/usr/bin/zerofil && dpkg-deb -b broken broken.deb >/dev/null' "$deb"
	if inside -- sh -c "cd /deb-src && autopkgtest --no-built-binaries ./broken.deb ./zerofil-$v/ -- null" \
		>"$work-control.log" 2>&1; then
		fails "autopkgtest passed a package whose program does nothing"
	fi
	grep -Eq '^table +FAIL' "$work-control.log" ||
		{ tail -n 30 "$work-control.log"; fails "autopkgtest: the table did not fail against a program that does nothing"; }
	quietly apt_get purge zerofil
	echo "autopkgtest: the table fails against a program that does nothing (a control)"
}

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
source)
	dist=$2 list=$3 v=$4 control=${5-}
	dsc=$(release_files "$list" file dsc)
	[[ -n $dsc ]] || fails "$list: no Debian source package"
	tarball=$(release_files "$list" file source)
	[[ -f $dist/$tarball ]] || { echo "skip: no source tarball: this tree is not a git checkout"; exit 77; }
	work=$root/deb-src
	rm -rf "$work"
	mkdir "$work"
	# As a packager fetches it: the release's tarball under Debian's name.
	cp "$dist/$dsc" "$dist/$(release_files "$list" file debian)" "$work/"
	cp "$dist/$tarball" "$work/zerofil_$v.orig.tar.gz"
	[[ ! -f $dist/$tarball.asc ]] || cp "$dist/$tarball.asc" "$work/zerofil_$v.orig.tar.gz.asc"
	chown -R 65534:65534 "$work"
	apt_get() { inside -- env DEBIAN_FRONTEND=noninteractive apt-get -q -y "$@"; }
	quietly apt_get update
	quietly apt_get install --no-install-recommends dpkg-dev
	# unprivileged COMMAND...: COMMAND in the work folder, as nobody
	unprivileged() {
		# shellcheck disable=SC2016 # expanded by the inner shell
		inside -- setpriv --reuid=65534 --regid=65534 --clear-groups -- env HOME=/deb-src sh -c 'cd /deb-src && exec "$@"' sh "$@"
	}
	unprivileged dpkg-source -x "$dsc" "zerofil-$v" | tail -n 1
	quietly apt_get build-dep "/deb-src/zerofil-$v"
	unprivileged sh -c "cd zerofil-$v && dpkg-buildpackage -us -uc" >"$work.log" 2>&1 || { tail -n 60 "$work.log"; exit 1; }
	# dh_auto_test ran the table, and it passed: CTest's line for it; its
	# cases where debhelper runs CTest verbosely ("1: ok N NAME").
	grep -E '^ *1/1 Test +#1: table \.+ +Passed' "$work.log" || fails "dh_auto_test did not run the table"
	if grep -q '^1: ok ' "$work.log"; then
		echo "its cases: $(grep -c '^1: ok ' "$work.log") passed, of which" \
			"$(grep -c '^1: ok .* # skip' "$work.log") skipped, as they need root"
	fi
	# shellcheck disable=SC2016 # dpkg-query's fields
	echo "built: $(cd "$work" && echo *.deb), by $(inside -- dpkg-query -W -f '${Package} ${Version}, ' dpkg-dev debhelper g++)"
	changes=$(cd "$work" && echo *.changes)
	# The package, and its debug symbols (dh_strip's -dbgsym).
	debs=("$work"/zerofil_*.deb)
	((${#debs[@]} == 1)) || fails "built ${#debs[@]} packages zerofil, want 1"
	# Not yet released: the changelog says so (UNRELEASED), as it must
	# until the release, and lintian calls that an error in a .changes.
	suppress=()
	if [[ $(inside -- dpkg-parsechangelog -l "/deb-src/zerofil-$v/debian/changelog" -S Distribution) == UNRELEASED ]]; then
		suppress=(--suppress-tags unreleased-changes)
		echo "lintian: unreleased-changes not reported: $v is UNRELEASED in packaging/debian/changelog"
	fi
	found=$(TMPDIR=${TMPDIR:-/tmp} lintian --fail-on error,warning "${suppress[@]}" "$work/$changes" 2>&1) || fails "$found"
	found=$(grep -v 'running with root privileges is not recommended' <<<"$found" || true)
	echo "lintian $(lintian --version | awk '{ print $2 }') on $changes, the .dsc and the .deb: ${found:-clean}"
	# autopkgtest of this Debian release, against the built package.
	quietly apt_get install --no-install-recommends autopkgtest
	inside -- sh -c "cd /deb-src && autopkgtest --no-built-binaries ./${debs[0]##*/} ./zerofil-$v/ -- null" >"$work-autopkgtest.log" 2>&1 ||
		{ tail -n 60 "$work-autopkgtest.log"; fails "autopkgtest failed"; }
	awk '/@@@@ summary$/ { on = 1; next } /^autopkgtest \[/ { on = 0 } on { print "autopkgtest: " $0 }' "$work-autopkgtest.log"
	# The table ran in full: as root, none of its cases skipped.
	! grep -q '^ok .*# skip' "$work-autopkgtest.log" || fails "autopkgtest: a case of the table skipped"
	# Installed, it runs from /usr/bin, shows its page, and is removed.
	quietly apt_get install "/deb-src/${debs[0]##*/}"
	inside -- dpkg -L zerofil >"$work/files"
	inside -- sh -c 'cd /deb-src && zerofil 5 f5'
	zeros "$work/f5" 5
	page_renders "$v" inside -- man --warnings zerofil
	[[ $(readelf -l "$root/usr/bin/zerofil") == *"program interpreter"* ]] || fails "/usr/bin/zerofil is not dynamic"
	quietly apt_get remove zerofil
	while read -r f; do
		[[ -d $root$f || (! -e $root$f && ! -L $root$f) ]] || fails "left: $f"
	done <"$work/files"
	echo "installed, ran from /usr/bin, showed its page and was removed: $(wc -l <"$work/files") paths"
	[[ $control != control ]] || source_control "${debs[0]##*/}" "$v"
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
