#!/usr/bin/env bash
# dsc.sh TARBALL DSC: the Debian source package of the release's source
# tarball TARBALL (zerofil-VERSION.tar.gz, with its .asc beside it when
# signed), whose .dsc is the file DSC (zerofil_VERSION-REVISION.dsc) and
# whose .debian.tar.xz goes beside it. The orig tarball is TARBALL itself,
# under Debian's name: the .dsc names its bytes, and the release holds no
# second copy. The debian/ folder is packaging/debian-source/, filled in
# from the facts kept elsewhere; ZEROFIL_DOWNLOAD_URL is where the releases
# are ({version}: the version), for debian/watch, and ZEROFIL_SIGN_OPENPGP
# the release key, whose public half becomes debian/upstream/signing-key.asc.
# Reproducible as dpkg-source is: every time stamp is SOURCE_DATE_EPOCH.
set -euo pipefail
tarball=$1 dsc=$2
src=$(cd "$(dirname "$0")/.." && pwd -P)
# shellcheck source-path=SCRIPTDIR/.. source=scripts/lib.sh
. "$src/scripts/lib.sh"
name=${dsc##*/}
[[ $name =~ ^zerofil_([0-9.]+)-([0-9]+)\.dsc$ ]] || fails "$0: $name: not zerofil_VERSION-REVISION.dsc"
v=${BASH_REMATCH[1]} revision=${BASH_REMATCH[2]}
[[ ${tarball##*/} == "zerofil-$v.tar.gz" ]] || fails "$0: $tarball: not the source tarball of $v"
: "${SOURCE_DATE_EPOCH:?}" "${ZEROFIL_DOWNLOAD_URL:?}"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
tree=$work/zerofil-$v

cp "$tarball" "$work/zerofil_$v.orig.tar.gz"
[[ ! -f $tarball.asc ]] || cp "$tarball.asc" "$work/zerofil_$v.orig.tar.gz.asc"
mkdir "$tree"
tar -C "$tree" --strip-components=1 -xzf "$tarball"
[[ ! -e $tree/debian ]] || fails "$0: $tarball holds a debian/ folder already"
debian=$tree/debian
cp -R "$src/packaging/debian-source" "$debian"
rm "$debian/README" "$debian"/*.in "$debian"/*/*.in

# fill FILE: debian/FILE from packaging/debian-source/FILE.in
fill() { fill_in "$src/packaging/debian-source/$1.in" "$debian/$1"; }
export fill_Maintainer fill_Homepage fill_Summary fill_Description fill_Security fill_Options fill_Directory
fill_Maintainer=$(about Maintainer)
fill_Homepage=$(about Homepage)
fill_Summary=$(about Summary)
# Debian's form: each line indented, an empty line as " .".
fill_Description=$(about Description | sed 's/^$/./; s/^/ /')
fill_Security=$(grep -o -m 1 '<[^>@ ]*@[^> ]*>' "$src/SECURITY.md" | tr -d '<>')
[[ -n $fill_Security ]] || fails "$0: SECURITY.md names no address to report a flaw to"
fill control
fill upstream/metadata
# The releases' folder, the version a pattern in it, as uscan reads it;
# the signature beside each tarball when the release is signed.
fill_Directory=${ZEROFIL_DOWNLOAD_URL//\{version\}/([\\d.]+)}/
fill_Options=""
if [[ -n ${ZEROFIL_SIGN_OPENPGP-} ]]; then
	[[ -f $tarball.asc ]] || fails "$0: a release key, but no $tarball.asc"
	fill_Options=$'opts="pgpsigurlmangle=s/$/.asc/" \\\n  '
	gpg --batch --armor --export-options export-minimal --export "$ZEROFIL_SIGN_OPENPGP" \
		>"$debian/upstream/signing-key.asc"
	[[ -s $debian/upstream/signing-key.asc ]] || fails "$0: no key $ZEROFIL_SIGN_OPENPGP to export"
fi
fill watch
# The one changelog, each upstream version as its first Debian revision.
sed "s/^zerofil (\([^)]*\))/zerofil (\1-$revision)/" "$src/packaging/debian/changelog" >"$debian/changelog"
cp "$src/packaging/debian/copyright" "$debian/copyright"
[[ $(dpkg-parsechangelog -l "$debian/changelog" -S Version) == "$v-$revision" ]] ||
	fails "$0: packaging/debian/changelog: its last version is not $v"
find "$debian" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +

(cd "$work" && quietly dpkg-source -b "zerofil-$v")
out=$(dirname "$dsc")
cp "$work/zerofil_$v-$revision.dsc" "$work/zerofil_$v-$revision.debian.tar.xz" "$out/"
