#!/usr/bin/env bash
# package.sh plain BUILD VERSION: a plain install of BUILD is a normal
# dynamic program with its manual page, which shows the version, and its
# documents.
# package.sh static VERSION: so is the install of a static build, but for
# being static.
# package.sh packager: a packager's build takes Clang, Ninja, CXXFLAGS,
# LDFLAGS and DESTDIR.
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd -P)
# shellcheck source-path=SCRIPTDIR/.. source=scripts/lib.sh
. "$src/scripts/lib.sh"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# installed BUILD VERSION: install BUILD into a folder of its own; the
# program works, and its page and documents are there
installed() {
	cmake --install "$1" --prefix "$tmp/usr" >/dev/null
	"$tmp/usr/bin/zerofil" 3 "$tmp/f"
	zeros "$tmp/f" 3
	ls "$tmp/usr/share/doc/zerofil/README.md" "$tmp/usr/share/doc/zerofil/LICENSE"
	page_renders "$2" man --warnings -l "$tmp/usr/share/man/man1/zerofil.1"
}

case $1 in
packager)
	CXXFLAGS=-g LDFLAGS=-Wl,-rpath,/packager cmake -S "$src" -B "$tmp/pk" -G Ninja \
		-DCMAKE_CXX_COMPILER=clang++ -DBUILD_TESTING=OFF -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
	cmake --build "$tmp/pk" >/dev/null
	DESTDIR=$tmp/dest cmake --install "$tmp/pk" >/dev/null
	[[ $(readelf -S "$tmp/dest/usr/bin/zerofil") == *debug_info* ]]
	[[ $(readelf -d "$tmp/dest/usr/bin/zerofil") == *PATH*/packager* ]]
	;;
plain)
	installed "$2" "$3"
	[[ $(readelf -l "$tmp/usr/bin/zerofil") == *"program interpreter"* ]]
	;;
static)
	cmake -S "$src" -B "$tmp/static" -DZEROFIL_STATIC=ON -DBUILD_TESTING=OFF >/dev/null
	cmake --build "$tmp/static" >/dev/null
	installed "$tmp/static" "$2"
	[[ $(readelf -l "$tmp/usr/bin/zerofil") != *interpreter* ]]
	;;
*) fails "usage: $0 plain|static|packager ..." ;;
esac
