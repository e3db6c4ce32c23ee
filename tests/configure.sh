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

case ${1-} in
host)
	test=(-DBUILD_TESTING=ON -DZEROFIL_DIST=OFF)
	dist=(-DBUILD_TESTING=OFF -DZEROFIL_DIST=ON)
	configures "$src" $'-- i686 +natively\n-- i686-qemu +qemu-user \\(qemu-i386\\)' "${test[@]}" -DZEROFIL_RUNS_I386=ON
	configures "$src" $'-- i686 +skipped: this machine.s kernel refuses 32-bit x86 programs\n-- i686-qemu +qemu-user' \
		"${test[@]}" -DZEROFIL_RUNS_I386=OFF
	configures "$src" "-- linux-x86_64 +built to ship" "${dist[@]}" -DZEROFIL_RUNS_I386=ON
	configures "$src" "-- linux-x86_64 +built to ship" "${dist[@]}" -DZEROFIL_RUNS_I386=OFF
	configures "$src" "-- bookworm +skipped: no root" "${test[@]}" -DRUNS_AS_ROOT=OFF
	configures "$src" fails "run as root" "${test[@]}" -DRUNS_AS_ROOT=OFF -DZEROFIL_CHECKS=ON
	configures "$src" "-- windows-x86_64 +skipped: no wine64" "${test[@]}" -Dwine64=wine64-NOTFOUND
	configures "$src" fails "wine64 is missing" "${test[@]}" -Dwine64=wine64-NOTFOUND -DZEROFIL_CHECKS=ON
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
	# mistake FILE SED WANT: the copy's FILE edited by SED fails to configure with WANT
	mistake() {
		rm -rf "$tmp/src"
		mkdir "$tmp/src"
		(cd "$src" && find . -path ./build -prune -o -path ./.git -prune -o -type f -print | tar -cf - -T -) |
			tar -C "$tmp/src" -xf -
		sed -i "$2" "$tmp/src/$1"
		cmp -s "$src/$1" "$tmp/src/$1" && fails "$1: $2 changes nothing"
		configures "$tmp/src" fails "$3" -DBUILD_TESTING=ON
	}
	mistake cmake/builds.cmake 's/^line(i686 *ARCH i386 /line(i686 i386 /' 'line i686: unknown word "i386"'
	mistake cmake/builds.cmake 's/^\(arch(riscv64 .*\) TRIPLE [^)]*)/\1)/' 'arch riscv64: no TRIPLE'
	mistake cmake/builds.cmake '/^line(i686 /s/ROWS table large/ROWS table larg/' 'line i686: ROWS larg: no group'
	mistake tests/zerofil.bats '0,/test_tags=sample/s//test_tags=sampel/' 'the rows "sampel" are declared in a bats file, and no line'
	mistake cmake/builds.cmake 's/^arch(arm64 *RPM aarch64/arch(arm64 RPM arm64/' 'arch arm64: RPM arm64: rpm has no architecture of that name'
	mistake cmake/builds.cmake '/^line(linux-riscv64 /s/SHIPS tar rpm/SHIPS tar rpms/' 'line linux-riscv64: SHIPS rpms: not a release kind'
	mistake cmake/builds.cmake '/^line(vm-aarch64 /s/RUN vm:arm64/RUN vm:arm/' 'line vm-aarch64: RUN vm:arm: tests/vm.sh boots only'
	;;
*) fails "usage: $0 host|table" ;;
esac
