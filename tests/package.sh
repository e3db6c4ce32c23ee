#!/usr/bin/env bash
# package.sh BUILD [WINDOWS_BUILD]: install BUILD into a temporary prefix
# and check what lands there, then make the release archives and check
# what they hold.
set -euo pipefail
build=$1 windows=${2-}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

cmake --install "$build" --prefix "$tmp/prefix" >/dev/null
"$tmp/prefix/bin/zerofil" 3 "$tmp/f"
cmp -n 3 "$tmp/f" /dev/zero
[[ $(wc -c <"$tmp/f") == 3 ]]
warnings=$(man --warnings -l "$tmp/prefix/share/man/man1/zerofil.1" 2>&1 >/dev/null)
[[ -z $warnings ]] || { echo "$warnings"; exit 1; }

# contents NAME...: every NAME is in the archive just made
contents() {
	local list
	list=$(cd "$pkg" && case $archive in
		*.zip) unzip -Z1 "$archive" ;;
		*) tar tzf "$archive" ;;
		esac)
	for want; do
		grep -qx ".*/$want" <<<"$list" || { echo "$archive lacks $want:"; echo "$list"; exit 1; }
	done
	echo "$archive: ok"
}

pkg=$tmp/linux
cpack --config "$build/CPackConfig.cmake" -B "$pkg" >/dev/null
archive=$(cd "$pkg" && ls ./*.tar.gz)
contents bin/zerofil share/man/man1/zerofil.1 share/doc/zerofil/README.md

if [[ -n $windows ]]; then
	pkg=$tmp/windows
	cpack --config "$windows/CPackConfig.cmake" -B "$pkg" >/dev/null
	archive=$(cd "$pkg" && ls ./*.zip)
	contents bin/zerofil.exe share/man/man1/zerofil.1 share/doc/zerofil/README.md
fi
