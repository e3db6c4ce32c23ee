#!/usr/bin/env bash
# package.sh BUILD VERSION: a plain install of BUILD is a normal dynamic
# program with its manual page, which shows the version, and its documents.
# package.sh packager: a packager's build takes Clang, Ninja, CXXFLAGS,
# LDFLAGS and DESTDIR.
# No 'grep -q' after a pipe: with pipefail, the writer's SIGPIPE fails it.
set -euo pipefail
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

if [[ $1 == packager ]]; then
	CXXFLAGS=-g LDFLAGS=-Wl,-rpath,/packager cmake -S "$(dirname "$0")/.." -B "$tmp/pk" -G Ninja \
		-DCMAKE_CXX_COMPILER=clang++ -DBUILD_TESTING=OFF -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
	cmake --build "$tmp/pk" >/dev/null
	DESTDIR=$tmp/dest cmake --install "$tmp/pk" >/dev/null
	[[ $(readelf -S "$tmp/dest/usr/bin/zerofil") == *debug_info* ]]
	[[ $(readelf -d "$tmp/dest/usr/bin/zerofil") == *PATH*/packager* ]]
	exit
fi

cmake --install "$1" --prefix "$tmp/usr" >/dev/null
[[ $(readelf -l "$tmp/usr/bin/zerofil") == *"program interpreter"* ]]
"$tmp/usr/bin/zerofil" 3 "$tmp/f"
cmp -n 3 "$tmp/f" /dev/zero
[[ $(wc -c <"$tmp/f") == 3 ]]
ls "$tmp/usr/share/doc/zerofil/README.md" "$tmp/usr/share/doc/zerofil/LICENSE"
page=$(MANWIDTH=80 man --warnings -l "$tmp/usr/share/man/man1/zerofil.1" 2>"$tmp/warnings")
[[ ! -s $tmp/warnings ]] || { cat "$tmp/warnings"; exit 1; }
grep -q "zerofil $2" <<<"$page" || { echo "the page does not show version $2"; exit 1; }

