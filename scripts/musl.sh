#!/usr/bin/env bash
# musl.sh DIR ARCH TRIPLE: Debian's musl-dev and musl for ARCH (Debian's
# name), from the suite below with its updates and security archives,
# unpacked into DIR once and kept, for the static Linux release programs
# (cmake/musl.cmake). DIR/index.tsv then says which package and version
# each file came from (path, package, version, source package,
# architecture, suite), as a dpkg database would. TRIPLE's objcopy drops
# the debug sections of musl's libraries and start files: Debian 12's
# riscv64 linker dies on the DWARF 5 relocations of Debian 13's, and the
# release programs are stripped anyway.
set -euo pipefail
# The first suite that has musl for every architecture of the release
# files: riscv64 has it from Debian 13 on.
suite=trixie
packages=(musl-dev musl)

dir=$1 arch=$2 triple=$3
# shellcheck source-path=SCRIPTDIR/.. source=scripts/lib.sh
. "$(dirname "$0")/lib.sh"

# The archives this machine's apt uses for Debian and its security
# updates, or Debian's own.
# shellcheck disable=SC2016 # apt's own fields
uri() {
	apt-get indextargets --format '$(REPO_URI) $(RELEASE)' 'Identifier: Packages' "Label: $1" 2>/dev/null |
		awk '{ print $1; exit }'
}
archive=$(uri Debian)
security=$(uri Debian-Security)
archive=${archive:-http://deb.debian.org/debian/} security=${security:-http://deb.debian.org/debian-security/}

# unpack DIR: the packages downloaded by apt, with a configuration and
# state of their own beside DIR, each checked as apt checks it (the
# Release file's signature by Debian's archive keyring, each index's and
# each package's digest); then unpacked, indexed, the debug sections
# dropped
# shellcheck disable=SC2317 # run by made
unpack() {
	local apt=$1.apt deb lib
	rm -rf "$apt"
	mkdir -p "$apt/lists/partial" "$apt/cache/archives/partial" "$apt/parts" "$apt/debs" "$1"
	local keys=/usr/share/keyrings/debian-archive-keyring.gpg
	{
		echo "deb [arch=$arch signed-by=$keys] $archive $suite main"
		echo "deb [arch=$arch signed-by=$keys] $archive $suite-updates main"
		echo "deb [arch=$arch signed-by=$keys] $security $suite-security main"
	} >"$apt/sources.list"
	local opts=(-q -o "Dir::Etc::SourceList=$apt/sources.list" -o "Dir::Etc::SourceParts=$apt/parts"
		-o "Dir::State::Lists=$apt/lists" -o "Dir::State::Status=/dev/null" -o "Dir::Cache=$apt/cache"
		-o "APT::Architecture=$arch" -o "APT::Architectures=$arch" -o "Debug::NoLocking=1")
	# A mirror in the middle of a sync may miss a file for a while.
	local try
	for try in 1 2 3; do
		quietly apt-get "${opts[@]}" update && (cd "$apt/debs" && quietly apt-get "${opts[@]}" download "${packages[@]}") &&
			break
		((try < 3)) || return 1
		echo "$0: apt could not fetch ${packages[*]} for $arch; once more in 20 s" >&2
		sleep 20
	done
	for deb in "$apt/debs"/*.deb; do
		dpkg-deb -x "$deb" "$1"
		# shellcheck disable=SC2016 # dpkg-deb's own fields
		fields=$(dpkg-deb --show --showformat='${Package}\t${Version}\t${Source}\t${Architecture}' "$deb")
		IFS=$'\t' read -r package version source deb_arch <<<"$fields"
		# Source may carry its own version in parentheses; empty means the package's name.
		source=${source%% *}
		dpkg-deb --fsys-tarfile "$deb" | tar -t | sed -n 's|^\./\(.*[^/]\)$|/\1|p' |
			awk -v f="	$package	$version	${source:-$package}	$deb_arch	$suite" '{ print $0 f }'
	done >"$1/index.tsv"
	lib=$(echo "$1"/usr/lib/*-linux-musl*)
	[[ -f $lib/libc.a ]] || { echo "$0: no musl libc.a in $1" >&2; return 1; }
	for f in "$lib"/libc.a "$lib"/crt*.o; do
		"$triple-objcopy" --strip-debug "$f" || return
	done
	rm -rf "$apt"
}
made "$dir" unpack
awk -F '\t' '$2 == "musl-dev" { print $2, $3, "for", $5, "from Debian", $6; exit }' "$dir/index.tsv"
