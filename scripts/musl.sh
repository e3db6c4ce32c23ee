#!/usr/bin/env bash
# musl.sh DIR ARCH TRIPLE: Debian's musl-dev for ARCH (Debian's name), from
# the suite below, unpacked into DIR once and kept, for the static Linux
# release programs (cmake/musl.cmake). DIR/index.tsv then says which
# package and version each file came from (path, package, version, source
# package, architecture, suite), as a dpkg database would. TRIPLE's objcopy
# drops the debug sections of musl's libraries and start files: Debian
# 12's riscv64 linker dies on the DWARF 5 relocations of Debian 13's, and
# the release programs are stripped anyway.
# musl.sh index ROOT SUITE: write ROOT/index.tsv from the packages in
# ROOT's apt cache (mmdebstrap's extract hook).
set -euo pipefail
# The first suite that has musl for every architecture of the release
# files: riscv64 has it from Debian 13 on.
suite=trixie

if [[ $1 == index ]]; then
	root=$2
	for deb in "$root"/var/cache/apt/archives/*.deb; do
		# shellcheck disable=SC2016 # dpkg-deb's own fields
		fields=$(dpkg-deb --show --showformat='${Package}\t${Version}\t${Source}\t${Architecture}' "$deb")
		IFS=$'\t' read -r package version source arch <<<"$fields"
		# Source may carry its own version in parentheses; empty means the package's name.
		source=${source%% *}
		dpkg-deb --fsys-tarfile "$deb" | tar -t | sed -n 's|^\./\(.*[^/]\)$|/\1|p' |
			awk -v f="	$package	$version	${source:-$package}	$arch	$3" '{ print $0 f }'
	done >"$root/index.tsv"
	exit
fi

dir=$1 arch=$2 triple=$3
self=$(cd "$(dirname "$0")" && pwd -P)/${0##*/}
# shellcheck source-path=SCRIPTDIR/.. source=scripts/lib.sh
. "${self%/*}/lib.sh"

# unpack DIR: musl-dev and what it depends on, unpacked, indexed, the
# debug sections dropped. From the suite with its updates and security
# archives, which mmdebstrap adds by itself: the programs shipped must hold
# musl's security fixes.
# shellcheck disable=SC2317 # run by made
unpack() {
	quietly mmdebstrap --variant=extract --architectures="$arch" --include=musl-dev \
		--extract-hook="$(printf '%q' "$self") index \"\$1\" $suite" "$suite" "$1" || return
	local lib
	lib=$(echo "$1"/usr/lib/*-linux-musl*)
	[[ -f $lib/libc.a ]] || { echo "$0: no musl libc.a in $1" >&2; return 1; }
	for f in "$lib"/libc.a "$lib"/crt*.o; do
		"$triple-objcopy" --strip-debug "$f" || return
	done
}
made "$dir" unpack
awk -F '\t' '$2 == "musl-dev" { print $2, $3, "for", $5, "from Debian", $6; exit }' "$dir/index.tsv"
