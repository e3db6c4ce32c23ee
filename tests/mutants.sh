#!/usr/bin/env bash
# mutants.sh [NAME...]: plant each fault of the list below (or those
# named), one at a time, in a copy of this tree, and run the check that
# must catch it; first that check passes on the copy as it is. Prints a
# row a fault, "caught" or "SURVIVED", and exits 1 if one survived; what
# each check said goes to ZEROFIL_MUTANTS_LOGS/N.log, where that names a
# folder. Takes half an hour or so: run it before a release. Needs root
# (a mount, a loop device) and what the test preset needs.
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd -P)
# shellcheck source-path=SCRIPTDIR/.. source=scripts/lib.sh
. "$src/scripts/lib.sh"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# Each fault: its name, the check that catches it, and the edit that
# plants it (a command run in the copy). Faults in the docs, and a package
# dropped from the list, are not here: the docs and configure tests plant
# those themselves on every run. The checks:
#   table      the program built from the copy runs the behaviour table
#   host       tests/configure.sh host of the copy
#   mistakes   tests/configure.sh table of the copy
#   deps       scripts/deps.sh check test of the copy
#   wrong-deps the copy's deps check fails on a list with a wrong package
#   docs       tests/messages.py of the copy
#   fs         a FUSE run of the copy's tests/fs.sh leaves nothing behind
#   manifests  the copy's components.py writes the winget and Scoop
#              manifests of this tree's release (build/test), and the
#              copy's manifests.py checks them, and catches its faults
#   foreign    the copy's release.sh foreign: dist.sh's own folder
#   control    the copy's rows.sh fails a control whose every case skipped
#   board      the copy's vm.sh stalls, on this tree's board (build/test)
#   recipes    the copy's recipes.sh makes the AUR, Homebrew and Nix
#              recipes of this tree's source tarball, and the copy's
#              channels.sh checks the formula and the expression
#   image      the copy's image.py makes the container image of this
#              tree's release programs, and the copy's channels.sh checks it
#   release    the copy, committed, makes the release of this tree's
#              builds with its dist.sh, and its release.sh checks it: the
#              archives, the MSI, the packages, the source packages, the
#              bill of materials
#   line       the copy's fixture builds the program of a line, and the
#              line's rows run it (i686-32bit-offsets-qemu)
#   vm         the copy's vm.sh boots this tree's armhf machine, and its
#              stalls check runs there
# The last nine need this tree's test build, release and machines made.
faults=$(
	cat <<'EOF'
mode 0600	table	sed -i 's/O_TRUNC, 0666)/O_TRUNC, 0600)/' sw/tools/conv/zerofil.cpp
no EINTR retry	table	sed -i 's/if (w < 0 \&\& errno == EINTR)/if (false)/' sw/tools/conv/zerofil.cpp
one write a byte	table	sed -i 's/if (ch == 0) {/if (ch == 9) {/' sw/tools/conv/zerofil.cpp
no truncation	table	sed -i 's/O_CREAT | O_TRUNC, 0666/O_CREAT, 0666/' sw/tools/conv/zerofil.cpp
close failure ignored	table	sed -i 's/return close_output(s->fd) == 0 ? 0 : EOF;/(void)close_output(s->fd); return 0;/' sw/tools/conv/zerofil.cpp
decimal only	table	sed -i 's/strtoull(argv\[1\], nullptr, 0)/strtoull(argv[1], nullptr, 10)/' sw/tools/conv/zerofil.cpp
usage status 1	table	sed -i 's/std::exit(0);/std::exit(1);/' sw/tools/conv/zerofil.cpp
usage with one argument	table	sed -i 's/if (argc <= 2) {/if (argc <= 1) {/' sw/tools/conv/zerofil.cpp
SIGXFSZ not ignored	table	sed -i 's/(void)std::signal(SIGXFSZ, SIG_IGN);//' sw/tools/conv/zerofil.cpp
a short write taken	table	sed -i 's/if (w <= 0)/if (w < 0)/' sw/tools/conv/zerofil.cpp
held bytes lost	table	sed -i 's/if (!out_flush(s))/if (false)/' sw/tools/conv/zerofil.cpp
a tool cached missing stays missing	host	sed -i 's|^\( *\)\(find_program(${n} ${n} PATHS /usr/lib/wine /usr/sbin /sbin)\)$|\1if(NOT DEFINED ${n}) \2 endif()|' cmake/packages.cmake
the 32-bit probe inverted	host	sed -i 's/^if(failed)$/if(NOT failed)/' cmake/host.cmake
a pretended tool found	host	sed -i 's/  if(NOT ${var} OR what IN_LIST ZEROFIL_MISSING)/  if(NOT ${var})/; s/    if(NOT ${n} OR n IN_LIST ZEROFIL_MISSING)/    if(NOT ${n})/' cmake/packages.cmake
the open failure held to the write line	table	sed -i 's/^open_line=$(program_line "Can.t open")$/open_line=$(program_line "Can'"'"'t write")/' tests/helper.bash
a disk runner of any file system	mistakes	sed -i 's/^kind(disk PLACE FS disk_fs LABEL disks)$/kind(disk LABEL disks)/' cmake/runners.cmake
a PROGRAM of no line	mistakes	sed -i '/PROGRAM ${a_PROGRAM}: no line of that name above/d' cmake/table.cmake
any root suite	mistakes	sed -i 's/(${known} OR NOT kind STREQUAL "root")/(FALSE)/' cmake/table.cmake
an unknown RUN kind	mistakes	sed -i 's/if(NOT kind IN_LIST runner_kinds OR place MATCHES ":")/if(place MATCHES ":")/' cmake/table.cmake
a package misnamed	deps	sed -i 's/^mkfs.ext4\te2fsprogs/mkfs.ext4\te2fsprog/' scripts/packages.tsv
the package check blind	wrong-deps	sed -i 's/^		found=0$/		found=1/' scripts/deps.sh
the user README not read	docs	sed -i 's/for name in (PAGE, "doc\/README.md"):/for name in (PAGE,):/' tests/messages.py
a loop device left	fs	sed -i 's/\[\[ -z $loop \]\] || losetup -d "$loop"/true/' tests/fs.sh
an image left	fs	sed -i 's/\[\[ -z $image \]\] || rm -f "$image"/true/' tests/fs.sh
the MSI's product code from its upgrade code	manifests	sed -i "s/quoted(codes\['ProductCode'\])/quoted(codes['UpgradeCode'])/" scripts/components.py
the Scope left unchecked	manifests	sed -i '/if i.get("Scope") != scope:/,+1d' tests/manifests.py
a version unquoted	manifests	sed -i 's/PackageVersion: {quoted(version)}/PackageVersion: {version}/' scripts/components.py
the record never read	foreign	sed -i 's/^\tbefore=$(tail -n +2 "$record")$/\tbefore=""/' scripts/dist.sh
a skipped control passed	control	sed -i 's/if \[\[ -n ${ZEROFIL_ROWS_CONTROL-} \]\]; then/if false; then/' tests/rows.sh
the board's clock on the host's	board	sed -i 's/ -icount shift=0"$/"/' tests/vm.sh
a 4 GiB row in the quick label	docs	sed -i 's/if(line_quick_${name} AND NOT group MATCHES "large|control")/if(line_quick_${name})/' tests/CMakeLists.txt
a tag of another version taken	mistakes	sed -i 's/if(NOT tag STREQUAL "v${PROJECT_VERSION}")/if(FALSE)/' cmake/dist.cmake
a recipe's digest of another file	recipes	sed -i 's|^fill_Digest=$(sha256sum "$tarball"|fill_Digest=$(sha256sum "$src/LICENSE"|' scripts/recipes.sh
a PKGBUILD of another version	recipes	sed -i 's/^pkgver=@Version@$/pkgver=1.0.0/' packaging/arch/PKGBUILD.in
a formula of no licence	recipes	sed -i '/^  license "@Licence@"$/d' packaging/homebrew/zerofil.rb.in
an arm/v5 entry with a v7 config	image	sed -i 's/config = dict(where, created=created/config = dict(where, variant="v7" if name == "arm" else None, created=created/' scripts/image.py
a program given as another architecture's	image	sed -i 's/183: "arm64", 40: "arm", 243: "riscv64"/183: "riscv64", 40: "arm", 243: "arm64"/' scripts/image.py
no entry point	image	sed -i 's/config={"Entrypoint": \["\/zerofil"\], /config={/' scripts/image.py
the MSI per user	release	sed -i 's/InstallScope="perMachine"/InstallScope="perUser"/' packaging/windows/zerofil.wxs
a Debian orig tarball packed again	release	sed -i 's|^cp "$tarball" "$work/zerofil_$v.orig.tar.gz"$|gzip -dc "$tarball" \| gzip -n >"$work/zerofil_$v.orig.tar.gz"|' scripts/dsc.sh
an rpm source package of the binary recipe	release	sed -i 's|packaging/rpm/zerofil-source|packaging/rpm/zerofil|' scripts/dist.sh
a component's licence text left out	release	sed -i 's/^            refs.update(package.pop("refs", {}))$/            package.pop("refs", None)/' scripts/components.py
the licence texts left unchecked	release	sed -i 's/^            if ref not in refs:$/            if False:/' tests/contents.py
a line built without its own flags	line	sed -i 's/^  list(APPEND how ${a_BUILD})$/  list(APPEND how)/' cmake/table.cmake
a guest's CPU time misread	vm	sed -i 's/cpu - moved_cpu >= $(getconf CLK_TCK)/cpu - moved_cpu >= 0/' tests/vm.sh
the Clang line out of the quick label	docs	sed -i 's/^\(line(clang .*\) QUICK)$/\1)/' cmake/builds.cmake
EOF
)

# check KIND: run the check of that kind in the copy (check_KIND below);
# its output in $tmp/log
check() {
	local status=0
	declare -F "check_$1" >/dev/null || fails "$0: no check named $1"
	(cd "$tmp" && "check_$1") >"$tmp/log" 2>&1 || status=$?
	# What a planted fault left behind, gone before the next run.
	if [[ $1 == fs ]]; then
		losetup -n -O NAME,BACK-FILE | awk '/zerofil-fs/ { print $1 }' | xargs -r -n 1 losetup -d
		rm -rf /tmp/zerofil-fs.*
	fi
	return "$status"
}
copy=$tmp/copy b=$src/build/test
url='https://example.org/zerofil/releases/{version}'

check_table() {
	cmake -S "$copy" -B "$tmp/b" -DBUILD_TESTING=OFF -DZEROFIL_WERROR=ON >/dev/null &&
		cmake --build "$tmp/b" >/dev/null &&
		ZEROFIL=$tmp/b/zerofil timeout 600 bats --tap "$copy/tests/zerofil.bats"
}
check_host() { "$copy/tests/configure.sh" host; }
check_mistakes() { "$copy/tests/configure.sh" table; }
check_deps() { "$copy/scripts/deps.sh" check test; }
check_wrong-deps() {
	sed -i 's/^mkfs.ext4\te2fsprogs/mkfs.ext4\te2fsprog/' "$copy/scripts/packages.tsv"
	! "$copy/scripts/deps.sh" check test
}
check_docs() {
	cmake -S "$copy" -B "$tmp/b" -DBUILD_TESTING=ON >/dev/null &&
		ctest --test-dir "$tmp/b" -R '^docs: ' --output-on-failure
}
check_fs() { "$copy/tests/fs.sh" ntfs-3g true && "$copy/tests/fs.sh" left; }
check_manifests() {
	mkdir -p "$tmp/m"
	python3 "$copy/scripts/components.py" manifests "$b/release-files.tsv" "$b/dist" "$(version)" "$url" "$tmp/m" &&
		"$copy/tests/manifests.py" "$b/dist" "$tmp/m" && "$copy/tests/manifests.py" --catches "$b/dist" "$tmp/m"
}
# Not a git checkout: dist.sh takes its time stamp from here.
check_foreign() { SOURCE_DATE_EPOCH=1 "$copy/tests/release.sh" foreign "$b/release-files.tsv"; }
check_control() {
	# Off a CPU older than ARMv7, the illegal-instruction case skips: a
	# failure, not a skip (77).
	local ended=0
	ZEROFIL_ROWS_CONTROL=1 ZEROFIL=/bin/true "$copy/tests/rows.sh" 1 bats --tap --filter '^illegal: ' \
		"$copy/tests/builds.bats" || ended=$?
	((ended == 1))
}
check_board() {
	# Its board's kernel, made here once, is taken as it is.
	mkdir -p "$tmp/vm"
	[[ -e $tmp/vm/armel ]] || cp -a "$b/vm/armel" "$tmp/vm/"
	rm -f "$tmp/vm/armel/stalls"*
	"$copy/tests/vm.sh" "$tmp/vm/armel" stalls
}
check_vm() {
	# This tree's machine, booted by the copy's vm.sh, sharing $tmp, and
	# powered off.
	local status=0
	mkdir -p "$tmp/vm"
	[[ -e $tmp/vm/armhf ]] || cp -a "$b/vm/armhf" "$tmp/vm/"
	"$copy/tests/vm.sh" "$tmp/vm/armhf" start "$tmp" || return
	"$copy/tests/vm.sh" "$tmp/vm/armhf" stalls || status=$?
	"$copy/tests/vm.sh" "$tmp/vm/armhf" stop
	return "$status"
}
check_recipes() {
	rm -rf "$tmp/r"
	ZEROFIL_DOWNLOAD_URL=$url "$copy/scripts/recipes.sh" "$b/dist/zerofil-$(version).tar.gz" "$tmp/r" &&
		"$copy/tests/channels.sh" recipes "$tmp/r" "$b/dist"
}
check_image() {
	local v l parts=()
	v=$(version)
	rm -rf "$tmp/i"
	mkdir "$tmp/i"
	cp "$b/dist/zerofil-$v.tar.gz" "$tmp/i/"
	# The release's archives, unpacked, as dist.sh has them.
	for l in amd64=linux-x86_64 arm64=linux-aarch64 arm/v5,arm/v6,arm/v7=linux-armel riscv64=linux-riscv64; do
		tar -C "$tmp/i" -xzf "$b/dist/zerofil-$v-${l#*=}.tar.gz"
		parts+=("${l%=*}=$tmp/i/zerofil-$v-${l#*=}")
	done
	SOURCE_DATE_EPOCH=$(tar -xzOf "$tmp/i/zerofil-$v.tar.gz" "zerofil-$v/packaging/source-date") \
		python3 "$copy/scripts/image.py" "$tmp/i/$(release_files "$b/release-files.tsv" file image)" "$v" unknown \
		"${parts[@]}" && "$copy/tests/channels.sh" image "$b/dist-manifests" "$tmp/i" "$b/release-files.tsv"
}
check_release() {
	rm -rf "$tmp/dist" "$tmp/list"*
	mkdir "$tmp/dist"
	# Its own record, not this tree's, beside its own list.
	cp "$b/release-files.tsv" "$tmp/list"
	git -C "$copy" init -q && git -C "$copy" add -A &&
		git -C "$copy" -c user.name=zerofil -c user.email=zerofil@example.org commit -qm fault &&
		ZEROFIL_DOWNLOAD_URL=$url "$copy/scripts/dist.sh" "$tmp/dist" "$(version)" "$tmp/list" &&
		"$copy/tests/release.sh" check "$tmp/dist" "$tmp/list" "$(version)"
}
check_line() {
	cmake -S "$copy" -B "$tmp/b" -DBUILD_TESTING=ON >/dev/null &&
		ctest --test-dir "$tmp/b" -R '^i686-32bit-offsets-qemu: ' --output-on-failure
}

# version: the project's version, as CMake has it
version() { awk '/^project\(zerofil/ { p = 1 } p && $1 == "VERSION" { print $2; exit }' "$src/CMakeLists.txt"; }

# copy: a fresh copy of this tree's files (not its build folders)
copy() {
	rm -rf "$tmp/copy" "$tmp/b"
	mkdir "$tmp/copy"
	(cd "$src" && find . -path ./build -prune -o -path ./.git -prune -o -type f -print | tar -cf - -T -) |
		tar -C "$tmp/copy" -xf -
}

survived=0 n=0
declare -A passed
while IFS=$'\t' read -r name kind edit; do
	if (($#)) && [[ " $* " != *" $name "* ]]; then continue; fi
	n=$((n + 1))
	# The check passes without the fault, once for each kind.
	if [[ -z ${passed[$kind]-} ]]; then
		copy
		check "$kind" || { cat "$tmp/log"; fails "$0: the check $kind fails without a fault"; }
		passed[$kind]=1
	fi
	copy
	(cd "$tmp/copy" && eval "$edit")
	if [[ -z $(cd "$src" && find . -path ./build -prune -o -path ./.git -prune -o -type f -print |
		while read -r f; do cmp -s "$f" "$tmp/copy/$f" || echo "$f"; done) ]]; then
		fails "$0: $name: the edit changes nothing"
	fi
	status=0
	check "$kind" || status=$?
	# What the check said, kept where ZEROFIL_MUTANTS_LOGS names a folder.
	[[ -z ${ZEROFIL_MUTANTS_LOGS-} ]] || cp "$tmp/log" "$ZEROFIL_MUTANTS_LOGS/$n.log"
	if ((status == 0)); then
		printf '| %s | %s | SURVIVED |\n' "$name" "$kind"
		survived=$((survived + 1))
	else
		printf '| %s | %s | caught |\n' "$name" "$kind"
	fi
done <<<"$faults"
echo "$((n - survived)) of $n faults caught"
((survived == 0))
