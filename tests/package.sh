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

# packs BUILD NAME...: CPack's archive of BUILD holds every NAME
packs() {
	local pkg archive list want
	pkg=$(mktemp -d -p "$tmp")
	cpack --config "$1/CPackConfig.cmake" -B "$pkg" >/dev/null
	archive=$(find "$pkg" -maxdepth 1 \( -name '*.tar.gz' -o -name '*.zip' \))
	case $archive in
	*.zip) list=$(unzip -Z1 "$archive") ;;
	*) list=$(tar tzf "$archive") ;;
	esac
	for want in "${@:2}"; do
		grep -qx ".*/$want" <<<"$list" || { echo "${archive##*/} lacks $want:"; echo "$list"; exit 1; }
	done
	echo "${archive##*/}: ok"
}

packs "$build" bin/zerofil share/man/man1/zerofil.1 share/doc/zerofil/README.md
if [[ -n $windows ]]; then
	packs "$windows" bin/zerofil.exe share/man/man1/zerofil.1 share/doc/zerofil/README.md
fi
