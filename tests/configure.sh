#!/usr/bin/env bash
# configure.sh host: the test and the dist configure pass as on a host of
# each kind, whatever this one is: one whose kernel runs 32-bit x86
# programs and one that refuses them, as root and not, with a tool found
# and missing; and the summary says how each line then runs.
# configure.sh table: a copy of this tree with a mistake in the table of
# builds, or in a bats file's tags, fails to configure, naming the line.
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd -P)
# shellcheck source-path=SCRIPTDIR/.. source=scripts/lib.sh
. "$src/scripts/lib.sh"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
n=0
t=cmake/builds.cmake
# table_words RE [OUT]: for each line of the table that starts with RE,
# OUT (\1 unless told) of what it matched; the suites are those of the
# root lines
table_words() { sed -n "s|^$1.*|${2-\\1}|p" "$src/$t"; }
mapfile -t suites < <(table_words 'line(\([a-z]*\) .*RUN root:')
first=${suites[0]-} last=${suites[-1]-}

# configures SOURCE WANT ARGS...: a fresh configure of SOURCE with ARGS
# passes, and its output holds each line of WANT (a regular expression a
# line); with "fails" before WANT it must fail instead
configures() {
	local source=$1 fail=0 status=0 want
	shift
	[[ $1 != fails ]] || { fail=1; shift; }
	want=$1
	shift
	n=$((n + 1))
	cmake -S "$source" -B "$tmp/b$n" "$@" >"$tmp/log" 2>&1 || status=$?
	if ((fail != (status != 0))); then
		cat "$tmp/log"
		fails "configure ${*}: status $status"
	fi
	while read -r line; do
		grep -qE -- "$line" <(tr -s ' \n' ' ' <"$tmp/log") || { cat "$tmp/log"; fails "configure ${*}: no \"$line\""; }
	done <<<"$want"
	rm -rf "$tmp/b$n"
	echo "ok: ${*:-plain}: $(tr '\n' ' ' <<<"$want")"
}

# fresh: a new copy of this tree's files in $tmp/src
fresh() {
	rm -rf "$tmp/src"
	mkdir "$tmp/src"
	(cd "$src" && find . -path ./build -prune -o -path ./.git -prune -o -type f -print | tar -cf - -T -) |
		tar -C "$tmp/src" -xf -
}

# mistake WANT FILE SED [FILE SED]...: the copy with each FILE edited by
# its SED fails to configure with WANT; the check of the table that
# stopped it is counted (tried)
mistake() {
	local want=$1
	shift
	fresh
	while (($#)); do
		sed -i "$2" "$tmp/src/$1"
		cmp -s "$src/$1" "$tmp/src/$1" && fails "$1: $2 changes nothing"
		shift 2
	done
	configures "$tmp/src" fails "$want" -DBUILD_TESTING=ON
	tried+=" $(grep -o 'cmake/table.cmake:[0-9]* (wrong)' "$tmp/log" | head -n 1 | tr -dc 0-9 || true)"
}

# examples: the examples of the mistakes, as the table and the machines
# are now: the last arch() and its triple, the first arch() with a CPU
# and one with an OCI variant, the machines and the boards.
examples() {
	read -r a triple < <(table_words 'arch(\([^ ]*\) .*TRIPLE \([^ )]*\)' '\1 \2' | tail -n 1)
	read -r c cpu < <(table_words 'arch(\([^ ]*\) .* CPU \([^ )]*\)' '\1 \2' | head -n 1)
	read -r o oci < <(table_words 'arch(\([^ ]*\) .* OCI .*\b\([a-z0-9]\+/v[0-9]\+\)\b' '\1 \2' | head -n 1)
	machines=$("$src/tests/vm.sh" machines | sed 's/ *\bdisks\b//; s/ /, /g')
	boards=$("$src/tests/vm.sh" boards | sed 's/ /, /g')
	board_at=$(awk '/^machines="/ { n = NR } n && $5 == "console" { print NR - n + 1; exit }' "$src/tests/vm.sh")
	[[ -n $triple && -n $cpu && -n $oci && -n $first && -n $boards && -n $board_at ]] ||
		fails "no example for the mistakes: the last arch() $a, with a CPU $c, with an OCI variant $o; suite $first; board $boards, at line $board_at"
}

case ${1-} in
host)
	test=(-DBUILD_TESTING=ON -DZEROFIL_DIST=OFF)
	dist=(-DBUILD_TESTING=OFF -DZEROFIL_DIST=ON)
	# As this host is, unless told otherwise: a kernel that runs 32-bit x86
	# programs runs the i686 line natively.
	if /lib/ld-linux.so.2 --version >/dev/null 2>&1; then i686=natively; else i686="skipped: this machine.s kernel"; fi
	configures "$src" "-- i686 +$i686" "${test[@]}"
	configures "$src" $'-- i686 +natively\n-- i686-qemu +qemu-user \\(qemu-i386\\)' "${test[@]}" -DZEROFIL_RUNS_I386=ON
	configures "$src" $'-- i686 +skipped: this machine.s kernel refuses 32-bit x86 programs\n-- i686-qemu +qemu-user' \
		"${test[@]}" -DZEROFIL_RUNS_I386=OFF
	configures "$src" "-- linux-x86_64 +built to ship" "${dist[@]}" -DZEROFIL_RUNS_I386=ON
	configures "$src" "-- linux-x86_64 +built to ship" "${dist[@]}" -DZEROFIL_RUNS_I386=OFF
	configures "$src" "-- $first +skipped: no root" "${test[@]}" -DRUNS_AS_ROOT=OFF
	configures "$src" fails "run as root" "${test[@]}" -DRUNS_AS_ROOT=OFF -DZEROFIL_CHECKS=ON
	configures "$src" "-- windows-x86_64 +skipped: no wine64" "${test[@]}" -DZEROFIL_MISSING=wine64
	configures "$src" fails "wine64 is missing: apt-get install wine64" "${test[@]}" -DZEROFIL_MISSING=wine64 -DZEROFIL_CHECKS=ON
	# A tool that an earlier configure did not find (CMake keeps NAME-NOTFOUND)
	# is found once it is there.
	cmake -S "$src" -B "$tmp/again" "${test[@]}" -Dqemu-riscv64=qemu-riscv64-NOTFOUND >/dev/null
	configures "$src" "-- linux-riscv64 +qemu-user \\(qemu-riscv64\\)" -B "$tmp/again"
	# Free space, which the large rows ask for when they run: too little
	# is a skip that says so.
	if ((EUID == 0)); then
		mkdir "$tmp/small"
		mount -t tmpfs -o size=1m zerofil-test "$tmp/small"
		out=$(TMPDIR=$tmp/small ZEROFIL=/bin/true bats --tap --filter '^large: ' "$src/tests/builds.bats") || true
		umount "$tmp/small"
		[[ $out == *"ok 1 large: "*"# skip needs 8589934594 bytes free"* ]] || fails "the large row on 1 MiB: $out"
		echo "ok: the large row on a 1 MiB file system skips"
	fi
	;;
table)
	tried=""
	examples
	mistake "arch $a: unknown word \"BITS\"" $t "s/^arch($a /arch($a BITS 64 /"
	mistake "arch $a: no TRIPLE" $t "s/^\\(arch($a .*\\) TRIPLE [^ )]*/\\1/"
	mistake "arch ${a}x: Debian has no architecture named ${a}x" $t "s/^arch($a /arch(${a}x /"
	mistake "arch $a: TRIPLE ${triple/-gnu/-musl}: Debian's is $triple" $t "s/TRIPLE $triple\\b/TRIPLE ${triple/-gnu/-musl}/"
	mistake 'arch arm64: RPM arm64: rpm has no architecture of that name' $t 's/^arch(arm64 *RPM aarch64/arch(arm64 RPM arm64/'
	mistake "arch $a: no toolchain file cmake/$triple.cmake" "cmake/$triple.cmake" '/CMAKE_CXX_COMPILER/d'
	mistake "arch $c: CPU without a value" $t "s/ CPU $cpu\\b/ CPU/"
	mistake "arch $c: CPU ${cpu}x: qemu-[a-z0-9]+ emulates no CPU of that name" $t "s/ CPU $cpu\\b/ CPU ${cpu}x/"
	mistake "arch $o: OCI ${oci/\/v//}: not an OCI platform" $t "s| $oci\\b| ${oci/\/v//}|"
	mistake "line linux-riscv64: SHIPS image: the image FROM scratch holds the tar's static program" $t 's/ OCI riscv64)/)/'
	mistake 'line i686: unknown word "i386"' $t 's/^line(i686 *ARCH i386 /line(i686 i386 /'
	mistake 'line i686-qemu: PROGRAM without a value' $t 's/^line(i686-qemu *PROGRAM i686 /line(i686-qemu PROGRAM /'
	mistake "line windows-msi: PROGRAM runs another line's program" $t '/^line(windows-msi /s/PROGRAM windows-x86_64 /PROGRAM windows-x86_64 ARCH amd64 /'
	mistake 'line armhf-armv7-on-arm926: ARCH arm64: qemu-arm runs this program' $t '/^line(armhf-armv7-on-arm926 /s/ARCH armel/ARCH arm64/'
	mistake 'line i686-qemu: PROGRAM i868: no line of that name above' $t '/^line(i686-qemu /s/PROGRAM i686 /PROGRAM i868 /'
	mistake 'line cygwin-platform: MUSL needs an ARCH' $t '/^line(cygwin-platform /s/cygwin-mingw/cygwin-mingw MUSL/'
	mistake 'line cygwin-platform: QUICK puts its rows' $t '/^line(cygwin-platform /s/cygwin-mingw/cygwin-mingw QUICK/'
	mistake 'line i686: ARCH names its toolchain file' $t '/^line(i686 /s/ARCH i386/ARCH i386 TOOLCHAIN i686-linux-gnu/'
	mistake 'line i686: ARCH i686: not an arch' $t '/^line(i686 /s/ARCH i386/ARCH i686/'
	mistake 'line cygwin-platform: TOOLCHAIN cygwin: no cmake/cygwin.cmake' $t 's/TOOLCHAIN cygwin-mingw/TOOLCHAIN cygwin/'
	mistake 'line i686: ROWS larg: no group' $t '/^line(i686 /s/ROWS table large/ROWS table larg/'
	mistake 'line linux-riscv64: SHIPS rpms: not a release format' $t '/^line(linux-riscv64 /s/SHIPS tar rpm/SHIPS tar rpms/'
	mistake "line windows-x86_64: SHIPS msi: the installer holds the zip's files" $t '/^line(windows-x86_64 /s/SHIPS zip msi/SHIPS msi/'
	mistake 'line windows-x86_64: SHIPS deb: a package names its architecture' $t '/^line(windows-x86_64 /s/SHIPS zip/SHIPS zip deb/'
	mistake 'line native: RUN hots: not none, host, qemu' $t '/^line(native /s/RUN host/RUN hots/'
	mistake "line $first: RUN root names where: root:SUITE" $t "/^line($first /s/RUN root:$first/RUN root/"
	mistake "line vm-aarch64: RUN vm:arm: no ARCH of that name .there are $machines." $t '/^line(vm-aarch64 /s/RUN vm:arm64/RUN vm:arm/'
	mistake "line $last: RUN root:Forky: no SUITE of that name" $t "/^line($last /s/RUN root:$last/RUN root:Forky/"
	mistake "line $last: RUN root:2025-08-09: no SUITE of that name" $t "/^line($last /s/RUN root:$last/RUN root:2025-08-09/"
	mistake 'line fs-ext4: RUN disk:ext3: no FS of that name' $t '/^line(fs-ext4 /s/RUN disk:ext4/RUN disk:ext3/'
	mistake 'line native: RUN host:here: a host runner names no place' $t '/^line(native /s/RUN host/RUN host:here/'
	mistake 'line native: RUN qemu: qemu-user runs a program built for an ARCH' $t '/^line(native /s/RUN host/RUN qemu/'
	mistake 'line fs-vfat: RUN disk: the disks machine runs amd64 programs' $t '/^line(fs-vfat /s/PROGRAM linux-x86_64/PROGRAM linux-aarch64/'
	# A machine of no arch(): vax, which Debian has not, so that no arch()
	# can be named so; made as the disks machine is.
	mistake 'line vm-vax: RUN vm:vax: not an arch' $t '/^line(vm-aarch64 /s/^/line(vm-vax PROGRAM native RUN vm:vax ROWS sample)\n/' \
		tests/vm.sh 's/^disks \(.*\)$/disks \1\nvax \1/'
	mistake "line vm-raspi0: RUN board:armhf: no ARCH of that name .there are $boards." $t '/^line(vm-raspi0 /s/board:armel/board:armhf/'
	mistake "machine [a-z0-9]+ .line $board_at of its machines.: reached by \"consol\", not 9p or console" tests/vm.sh 's/ console qemu-system-arm / consol qemu-system-arm /'
	mistake "line $first: RUN root builds the program inside the root" $t "/^line($first /s/RUN root:$first/RUN root:$first ARCH $a/"
	mistake 'the rows "sampel" are declared in a bats file, and no line' tests/zerofil.bats '0,/test_tags=sample/s//test_tags=sampel/'
	mistake 'scripts/packages.tsv:[0-9]+: not "program' scripts/packages.tsv 's/^cmake\tcmake\tbuild$/cmake cmake build/'
	mistake 'mkfs.ext4: no program of scripts/packages.tsv, nor a variable' scripts/packages.tsv '/^mkfs.ext4\t/d'
	mistake 'clang-tidy: a program of the bench group' scripts/packages.tsv 's/^\(clang-tidy\t.*\t\)test$/\1bench/'
	# A commit tagged for another version than project()'s stops it.
	fresh
	git -C "$tmp/src" init -q
	git -C "$tmp/src" add -A
	git -C "$tmp/src" -c user.name=zerofil -c user.email=zerofil@example.org commit -qm tagged
	git -C "$tmp/src" tag v0.0.1
	configures "$tmp/src" fails "git tag v0.0.1: this commit is tagged for another version" -DBUILD_TESTING=ON
	# Every check of the table was tried: each call of wrong() stopped one.
	checks=$(grep -n "wrong(\${what}" "$src/cmake/table.cmake" | cut -d: -f1)
	while read -r at; do
		[[ " $tried " == *" $at "* ]] || fails "no mistake above tries the check of cmake/table.cmake:$at"
	done <<<"$checks"
	echo "ok: each of the $(wc -l <<<"$checks") checks of the table stops a mistake"
	;;
*) fails "usage: $0 host|table" ;;
esac
