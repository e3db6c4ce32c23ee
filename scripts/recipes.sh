#!/usr/bin/env bash
# recipes.sh TARBALL OUT: the recipes that build zerofil from the release's
# source tarball TARBALL (zerofil-VERSION.tar.gz) in the package
# collections that take a recipe, not a program: under OUT, the AUR's
# aur/PKGBUILD and aur/.SRCINFO, a Homebrew tap's homebrew/zerofil.rb and
# nixpkgs' nix/package.nix. Each is packaging/FOLDER/FILE.in filled in
# from the facts kept elsewhere; ZEROFIL_DOWNLOAD_URL is where the releases
# are ({version}: the version). Each file written is read back and held
# against TARBALL: its address, digest, version and licence.
set -euo pipefail
tarball=$1 out=$2
src=$(cd "$(dirname "$0")/.." && pwd -P)
# shellcheck source-path=SCRIPTDIR/.. source=scripts/lib.sh
. "$src/scripts/lib.sh"
name=${tarball##*/}
[[ $name =~ ^zerofil-([0-9.]+)\.tar\.gz$ ]] || fails "$0: $name: not zerofil-VERSION.tar.gz"
v=${BASH_REMATCH[1]}
: "${ZEROFIL_DOWNLOAD_URL:?}"

export fill_Version=$v fill_Summary fill_Homepage fill_Maintainer fill_Licence fill_Source fill_Digest \
	fill_SriHash fill_NixLicence fill_TestSize fill_Usage
summary=$(about Summary)
fill_Summary=${summary^}
fill_Homepage=$(about Homepage)
fill_Maintainer=$(about Maintainer)
fill_Licence=$(python3 "$src/scripts/components.py" licence)
url=${ZEROFIL_DOWNLOAD_URL//'{version}'/$v}
fill_Source=${url%/}/$name
fill_Digest=$(sha256sum "$tarball" | cut -d ' ' -f 1)
fill_SriHash=sha256-$(python3 -c 'import base64, hashlib, sys
print(base64.b64encode(hashlib.sha256(open(sys.argv[1], "rb").read()).digest()).decode())' "$tarball")
# nixpkgs names a licence by its own attribute of lib.licenses.
case $fill_Licence in
MIT) fill_NixLicence=mit ;;
*) fails "$0: no name in nixpkgs' lib.licenses for the licence $fill_Licence" ;;
esac
# The test of the formula: one block and a byte, and the usage line.
fill_TestSize=$(($(block_size) + 1))
fill_Usage=$(sed -n 's/.*printf("\(Usage: [^\\"]*\)\\n").*/\1/p' "$src/sw/tools/conv/zerofil.cpp")
[[ -n $fill_Usage ]] || fails "$0: no usage line found in the program's source"
for value in "$fill_Summary" "$fill_Homepage" "$fill_Maintainer" "$fill_Source"; do
	[[ $value != *[\'\"\\\$\`]* ]] || fails "$0: $value: a quote, a backslash or a dollar would need escaping in a recipe"
done

rm -rf "${out:?}"/{aur,homebrew,nix}
mkdir -p "$out/aur" "$out/homebrew" "$out/nix"
fill_in "$src/packaging/arch/PKGBUILD.in" "$out/aur/PKGBUILD"
fill_in "$src/packaging/homebrew/zerofil.rb.in" "$out/homebrew/zerofil.rb"
fill_in "$src/packaging/nix/package.nix.in" "$out/nix/package.nix"

# .SRCINFO: what makepkg --printsrcinfo prints for the PKGBUILD, in its
# order (tests/channels.sh holds it so); makepkg need not be here.
# shellcheck disable=SC2154 # each set by the PKGBUILD
(
	# shellcheck disable=SC1091 # made above
	. "$out/aur/PKGBUILD"
	# field NAME VALUE...: a line for each value
	field() { local n=$1 x; shift; for x in "$@"; do printf '\t%s = %s\n' "$n" "$x"; done; }
	echo "pkgbase = $pkgname"
	field pkgdesc "$pkgdesc"
	field pkgver "$pkgver"
	field pkgrel "$pkgrel"
	field url "$url"
	field arch "${arch[@]}"
	field license "${license[@]}"
	field checkdepends "${checkdepends[@]}"
	field makedepends "${makedepends[@]}"
	field depends "${depends[@]}"
	field source "${source[@]}"
	field sha256sums "${sha256sums[@]}"
	echo
	echo "pkgname = $pkgname"
) >"$out/aur/.SRCINFO"

# holds FILE WHAT PATTERN WANT: the value that PATTERN (an ERE whose first
# group is the value) finds in FILE is WANT, once
holds() {
	local found
	found=$(sed -En "s/$3/\\1/p" "$1")
	[[ $found == "$4" ]] || fails "$0: ${1#"$out"/}: its $2 is \"${found//$'\n'/ }\", not the release's: $4"
}
# What each must say, worked out again from the tarball itself: its
# digest, and the version its top folder names.
digest=$(sha256sum "$tarball" | cut -d ' ' -f 1)
sri=sha256-$(python3 -c 'import base64, sys; print(base64.b64encode(bytes.fromhex(sys.argv[1])).decode())' "$digest")
top=$(tar -tzf "$tarball" | awk "NR == 1")
top=${top%%/*}
v=${top#zerofil-}
address=${url%/}/$top.tar.gz
for f in aur/PKGBUILD aur/.SRCINFO homebrew/zerofil.rb nix/package.nix; do
	file=$out/$f
	case $f in
	aur/PKGBUILD)
		holds "$file" version '^pkgver=(.*)$' "$v"
		holds "$file" address '^source=\("(.*)"\)$' "$address"
		holds "$file" digest "^sha256sums=\\('(.*)'\\)$" "$digest"
		holds "$file" licence "^license=\\('(.*)'\\)$" "$fill_Licence"
		;;
	aur/.SRCINFO)
		holds "$file" version '^	pkgver = (.*)$' "$v"
		holds "$file" address '^	source = (.*)$' "$address"
		holds "$file" digest '^	sha256sums = (.*)$' "$digest"
		holds "$file" licence '^	license = (.*)$' "$fill_Licence"
		;;
	homebrew/zerofil.rb)
		# Homebrew reads the version from the address.
		holds "$file" address '^  url "(.*)"$' "$address"
		holds "$file" digest '^  sha256 "(.*)"$' "$digest"
		holds "$file" licence '^  license "(.*)"$' "$fill_Licence"
		;;
	nix/package.nix)
		holds "$file" version '^  version = "(.*)";$' "$v"
		holds "$file" address '^    url = "(.*)";$' "$address"
		holds "$file" digest '^    hash = "(.*)";$' "$sri"
		holds "$file" licence '^    license = lib\.licenses\.(.*);$' "$fill_NixLicence"
		;;
	esac
done
