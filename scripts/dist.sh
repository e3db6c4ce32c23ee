#!/usr/bin/env bash
# dist.sh OUT VERSION LIST: make in OUT each release file that LIST (the
# release-files.tsv that cmake/dist.cmake writes) names, from the build
# tree of its line, and then SHA256SUMS. Outside a git checkout, the source
# tarball is the file ZEROFIL_SOURCE_TARBALL names, if it holds this tree.
# dist.sh --line LINE OUT VERSION LIST: make only the files of that line
# of the table of builds (its archive and packages), for its rows alone.
# dist.sh --source OUT VERSION LIST: make only the source tarball and the
# source packages made of it, which the Debian roots build.
#
# OUT holds release files only: files this script did not make are never
# removed, and a folder that holds any is refused.
#
# Signed when keys are given in the environment: ZEROFIL_SIGN_OPENPGP, the
# fingerprint of a key in the keyring (GNUPGHOME), signs SHA256SUMS and the
# source tarball (the list's signature rows) and each .rpm;
# ZEROFIL_SIGN_PKCS12, a PKCS#12 file with its password in
# ZEROFIL_SIGN_PKCS12_PASSWORD, signs the Windows program and the MSI
# (Authenticode).
#
# Reproducible: every time stamp is SOURCE_DATE_EPOCH, or else the last
# commit's time, or else the time stamp the source tarball carries; entries
# are sorted and owned by 0:0, gzip stores no name.
set -euo pipefail
only="" by=line
if [[ $1 == --line ]]; then
	only=$2
	shift 2
elif [[ $1 == --source ]]; then
	only="source dsc debian srpm" by=format
	shift
fi
out=$1 version=$2 list=$3
src=$(cd "$(dirname "$0")/.." && pwd -P)
# shellcheck source-path=SCRIPTDIR/.. source=scripts/lib.sh
. "$src/scripts/lib.sh"

# Only this tree's own repository: a tarball unpacked inside another one
# must not take that one's time.
git=()
if own_checkout "$src"; then
	git=(git -C "$src")
fi
if [[ -z ${SOURCE_DATE_EPOCH-} ]]; then
	if ((${#git[@]})); then
		SOURCE_DATE_EPOCH=$("${git[@]}" log -1 --format=%ct)
	else
		SOURCE_DATE_EPOCH=$(<"$src/packaging/source-date")
	fi
fi
if [[ ! $SOURCE_DATE_EPOCH =~ ^[0-9]+$ ]]; then
	fails "$0: no time stamp: not a git checkout nor a source tarball; set SOURCE_DATE_EPOCH"
fi
export SOURCE_DATE_EPOCH TZ=UTC LC_ALL=C
# Folders the install and cpack create get the same modes for everyone.
umask 022

if [[ ${ZEROFIL_RELEASED-ON} == OFF && -z $only ]]; then
	echo "$0: zerofil $version is not yet released (UNRELEASED in packaging/debian/changelog): these files are for testing"
fi
openpgp=${ZEROFIL_SIGN_OPENPGP-} pkcs12=${ZEROFIL_SIGN_PKCS12-}
unsigned=()
[[ -n $openpgp ]] || unsigned+=("OpenPGP and rpm signatures (ZEROFIL_SIGN_OPENPGP)")
[[ -n $pkcs12 ]] || unsigned+=("Authenticode (ZEROFIL_SIGN_PKCS12)")
if ((${#unsigned[@]})); then
	none=$(IFS=,; echo "${unsigned[*]}")
	echo "$0: no key for ${none/,/ nor }: those files are unsigned"
fi
if [[ -n $pkcs12 && ! -r $pkcs12 ]]; then fails "$0: ZEROFIL_SIGN_PKCS12: no file $pkcs12"; fi
# The tools that make the release files, whose packages the provenance names.
tools=(cmake dpkg-deb dpkg-source rpmbuild tar gzip zip wixl msibuild faketime git python3)
[[ -z $openpgp ]] || tools+=(gpg rpmsign)
[[ -z $pkcs12 ]] || tools+=(osslsigncode)

mkdir -p "$out"
# What this script made in OUT last time, beside LIST: its own files too,
# though the list names them no more (another version, a format removed).
record=$list.made
before=""
if [[ -f $record && $(head -n 1 "$record") == "$(cd "$out" && pwd -P)" ]]; then
	before=$(tail -n +2 "$record")
fi
mine=$(release_files "$list" file)$'\n'$before
for f in "$out"/* "$out"/.[!.]*; do
	[[ -e $f ]] || continue
	if [[ ! -f $f ]] || ! grep -qxF -- "${f##*/}" <<<"$mine"; then
		fails "$0: $out holds ${f##*/}, which is not a release file: choose an empty folder"
	fi
done
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
if [[ -n $only ]]; then
	# The list of that line's files (or the source tarball's) alone, its
	# header kept.
	awk -F '\t' -v by="$by" -v l=" $only " 'NR == 1 { for (i = 1; i <= NF; i++) if ($i == by) c = i }
		NR == 1 || index(l, " " $c " ")' "$list" >"$stage/list"
	list=$stage/list
	[[ -n $(release_files "$list" file) ]] || fails "$0: $3 names no file of the $by $only"
	# A source tarball of this very commit is kept, with the source
	# packages made of it since: other checks may be reading them.
	tarball=$out/$(release_files "$list" file source)
	if [[ $by == format && ${#git[@]} -gt 0 && -f $tarball ]] &&
		[[ $(git get-tar-commit-id < <(gzip -dc "$tarball")) == "$("${git[@]}" rev-parse HEAD)" ]]; then
		kept=1
		while read -r f; do
			[[ -f $out/$f && ! $out/$f -ot $tarball ]] || kept=0
		done < <(release_files "$list" file)
		if ((kept)); then
			echo "$tarball: of the last commit already, and its source packages"
			exit
		fi
	fi
	(cd "$out" && release_files "$list" file | xargs rm -f --)
else
	(cd "$out" && xargs rm -f -- <<<"$mine")
fi

# authenticode FILE: sign FILE (a program or an installer) with the
# PKCS#12 key, at the release's time, which makes the signature the same
# at every run; removing it gives the unsigned file.
authenticode() {
	osslsigncode sign -pkcs12 "$pkcs12" -pass "${ZEROFIL_SIGN_PKCS12_PASSWORD-}" -n zerofil \
		-i "$(about Homepage)" -h sha256 -time "$SOURCE_DATE_EPOCH" \
		-in "$1" -out "$stage/signed" >/dev/null || fails "$0: osslsigncode could not sign ${1##*/} with $pkcs12"
	mv "$stage/signed" "$1"
}

# rpm_sign FILE: sign the rpm package FILE with the OpenPGP key
rpm_sign() {
	# Debian's rpm looks for gpg2, which Debian no longer has.
	rpmsign --addsign --define "__gpg $(command -v gpg)" --define "_gpg_name $openpgp" "$1" >/dev/null ||
		fails "$0: rpmsign could not sign ${1##*/} with $openpgp"
}

# folder LINE TREE PROGRAM: the folder of the line's archive, in the
# stage: the stripped program beside its documents, no bin/ or share/
folder() {
	local line=$1 tree=$2 name=zerofil-$version-$1
	[[ ! -d $stage/$name ]] || return 0
	cmake --install "$tree" --prefix "$stage/$line" --strip >/dev/null
	mkdir -m 755 "$stage/$name"
	if [[ $3 == *.exe ]]; then
		find "$stage/$line" -type f -exec cp -t "$stage/$name" {} +
		[[ -z $pkcs12 ]] || authenticode "$stage/$name/$3"
	else
		cp "$stage/$line"/bin/zerofil "$tree/zerofil.1" "$tree/README.md" "$src/LICENSE" "$stage/$name/"
		cp "$tree/THIRD-PARTY-NOTICES" "$stage/$name/"
	fi
	find "$stage/$name" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
}

# rpm_changelog: the entries of Debian's changelog in rpm's form, newest
# first in both, each version as its release 1
rpm_changelog() {
	awk '
	/^zerofil \(/ { v = $2; gsub(/[()]/, "", v); n = 0; next }
	/^  \* / { item[++n] = "- " substr($0, 5); next }
	/^    / { item[++n] = "  " substr($0, 5); next }
	/^ -- / {
		split(substr($0, 5), part, "  ")
		split(part[2], d, " ")
		printf "* %s %s %s %s %s - %s-1\n", substr(d[1], 1, 3), d[3], d[2], d[4], part[1], v
		for (i = 1; i <= n; i++) print item[i]
		print ""
	}' "$src/packaging/debian/changelog"
}

# rpmbuild's setting that clamps every time stamp to SOURCE_DATE_EPOCH:
# rpm 4.20 (Debian 13) names it otherwise, and warns at the old name.
clamp=(--define "clamp_mtime_to_source_date_epoch 1")
if command -v rpmbuild >/dev/null &&
	[[ $(printf '%s\n' 4.20 "$(rpmbuild --version | awk '{ print $NF }')" | sort -V | head -n 1) == 4.20 ]]; then
	clamp=(--define "build_mtime_policy clamp_to_source_date_epoch")
fi

# make_image: FILE, the container image of the archives' programs, at
# this commit
make_image() {
	local parts=() part l t p revision
	# shellcheck disable=SC2086 # a list of PLATFORMS=LINE
	for part in $program; do
		l=${part#*=}
		read -r t p < <(release_files "$list" "line tree program" tar | awk -F '\t' -v l="$l" '$1 == l { print $2, $3 }')
		[[ -n ${t-} ]] || fails "$0: $file: the line $l ships no tar"
		folder "$l" "$t" "$p"
		parts+=("${part%=*}=$stage/zerofil-$version-$l")
	done
	revision=unknown
	if ((${#git[@]})); then
		revision=$("${git[@]}" rev-parse HEAD)
	elif [[ -n ${ZEROFIL_SOURCE_TARBALL-} ]]; then
		# Not a pipe: git reads only the first block, and gzip's
		# SIGPIPE would fail it under pipefail.
		revision=$(git get-tar-commit-id < <(gzip -dc "$ZEROFIL_SOURCE_TARBALL")) || revision=unknown
	fi
	python3 "$src/scripts/image.py" "$out/$file" "$version" "$revision" "${parts[@]}"
}

# make_rpm: FILE, the rpm package of the line's archive
make_rpm() {
	local summary rpms
	folder "$line" "$tree" "$program"
	rpm_changelog >"$stage/rpm-changelog"
	{ about Description && about Prebuilt; } >"$stage/rpm-description"
	summary=$(about Summary)
	# The time stamps are SOURCE_DATE_EPOCH, the host a fixed name, and
	# the payload xz, which rpm 4.14 (RHEL 8, openSUSE Leap 15) reads.
	rpmbuild -bb --quiet --target "$arch" --define "_topdir $stage/rpm-$line" \
		--define "zerofil_folder $stage/zerofil-$version-$line" --define "zerofil_version $version" \
		--define "zerofil_license $(python3 "$src/scripts/components.py" licence "$tree")" \
		--define "zerofil_changelog $stage/rpm-changelog" --define "_buildhost zerofil.example.org" \
		--define "zerofil_summary ${summary^}" --define "zerofil_url $(about Homepage)" \
		--define "zerofil_description $stage/rpm-description" \
		--define "use_source_date_epoch_as_buildtime 1" "${clamp[@]}" \
		--define "_binary_payload w9.xzdio" "$src/packaging/rpm/zerofil" >/dev/null
	rpms=("$stage/rpm-$line"/RPMS/*/*.rpm)
	((${#rpms[@]} == 1)) || fails "$0: rpmbuild made ${#rpms[@]} packages for $line"
	cp "${rpms[0]}" "$out/$file"
	[[ -z $openpgp ]] || rpm_sign "$out/$file"
}

# make_source: FILE, the source tarball
make_source() {
	# The source, as committed: one top folder, and packaging/source-date
	# filled in with the commit's time (export-subst).
	if ((${#git[@]})); then
		if [[ -n $("${git[@]}" status --porcelain --untracked-files=no) ]]; then
			echo "$0: warning: uncommitted changes are in the programs but not in $file" >&2
		fi
		"${git[@]}" archive --format=tar --prefix="zerofil-$version/" HEAD | gzip -9n >"$out/$file"
	elif [[ -n ${ZEROFIL_SOURCE_TARBALL-} ]]; then
		# The tarball this tree was unpacked from: released again, and
		# described in the bill of materials, once it holds this tree.
		mkdir "$stage/source"
		tar -C "$stage/source" -xzf "$ZEROFIL_SOURCE_TARBALL"
		diff -r -x build "$stage/source/zerofil-$version" "$src" >&2 ||
			fails "$0: $ZEROFIL_SOURCE_TARBALL does not hold this tree"
		cp "$ZEROFIL_SOURCE_TARBALL" "$out/$file"
	else
		echo "$0: not a git checkout, and no ZEROFIL_SOURCE_TARBALL: no source tarball" >&2
	fi
}

# make_srpm: FILE, the rpm source package
make_srpm() {
	local summary url recipe srpms
	# The rpm source package: its recipe filled in, under the name rpm
	# gives a recipe, and the source tarball.
	[[ -e $out/zerofil-$version.tar.gz ]] || return 0
	mkdir -p "$stage/srpm/SOURCES"
	cp "$out/zerofil-$version.tar.gz" "$stage/srpm/SOURCES/"
	[[ $file =~ -([0-9]+)\.src\.rpm$ ]] || fails "$0: $file: not NAME-VERSION-RELEASE.src.rpm"
	export fill_Version=$version fill_Release=${BASH_REMATCH[1]} fill_Summary fill_Licence fill_Homepage \
		fill_Source fill_Description fill_Changelog
	summary=$(about Summary)
	fill_Summary=${summary^}
	fill_Licence=$(python3 "$src/scripts/components.py" licence)
	fill_Homepage=$(about Homepage)
	url=${ZEROFIL_DOWNLOAD_URL:?}
	fill_Source="${url//'{version}'/'%{version}'}/zerofil-%{version}.tar.gz"
	fill_Description=$(about Description)
	fill_Changelog=$(rpm_changelog)
	recipe=$stage/srpm/zerofil.spec
	fill_in "$src/packaging/rpm/zerofil-source" "$recipe"
	touch -d "@$SOURCE_DATE_EPOCH" "$recipe" "$stage/srpm/SOURCES/"*
	# The header keeps each step's script as rpmbuild expanded it, the
	# folders of a build among them: the same folders wherever it is
	# made (-bs builds nothing in them), and the sources read from here.
	(cd "$stage/srpm/SOURCES" && rpmbuild -bs --quiet --define "_topdir $stage/srpm" --define "_sourcedir ." \
		--define "_builddir /build" --define "_buildrootdir /buildroot" --define "_buildhost zerofil.example.org" \
		--define "use_source_date_epoch_as_buildtime 1" "${clamp[@]}" --define "_source_payload w9.xzdio" \
		"$recipe" >/dev/null)
	srpms=("$stage/srpm/SRPMS"/*.src.rpm)
	[[ ${srpms[0]##*/} == "$file" ]] || fails "$0: rpmbuild made ${srpms[*]##*/}, want $file"
	cp "${srpms[0]}" "$out/$file"
	[[ -z $openpgp ]] || rpm_sign "$out/$file"
}

# make_sums: FILE, SHA256SUMS: each release file made above but the
# signatures; no source tarball outside git
make_sums() {
	local made_here=() f k
	while IFS=$'\t' read -r f k; do
		[[ $k == @(sums|signature) || ! -e $out/$f ]] || made_here+=("$f")
	done < <(release_files "$list" "file format")
	(cd "$out" && sha256sum -- "${made_here[@]}" >"$file")
}

while IFS=$'\t' read -r file format line arch tree program; do
	case $format in
	tar)
		folder "$line" "$tree" "$program"
		tar -C "$stage" --sort=name --owner=0 --group=0 --numeric-owner \
			--mtime="@$SOURCE_DATE_EPOCH" --format=gnu -cf - "zerofil-$version-$line" | gzip -9n >"$out/$file"
		;;
	zip)
		folder "$line" "$tree" "$program"
		# -X: no owner or time fields beyond the DOS time, which TZ fixes.
		(cd "$stage" && find "zerofil-$version-$line" -type f | sort | zip -X -q "$out/$file" -@)
		;;
	msi)
		# The zip's files, its signed program among them, installed.
		folder "$line" "$tree" "$program"
		"$src/scripts/msi.sh" "$stage/zerofil-$version-$line" "$version" "$out/$file"
		[[ -z $pkcs12 ]] || authenticode "$out/$file"
		;;
	image) make_image ;;
	deb)
		# The package's architecture is the list's: one program may ship as
		# the package of another architecture (armel's as armhf's).
		cpack --config "$tree/CPackConfig.cmake" -B "$stage/deb-$line" -D CPACK_DEBIAN_PACKAGE_ARCHITECTURE="$arch" >/dev/null
		debs=("$stage/deb-$line"/*.deb)
		((${#debs[@]} == 1)) || fails "$0: cpack made ${#debs[@]} packages for $line"
		cp "${debs[0]}" "$out/$file"
		;;
	rpm) make_rpm ;;
	source) make_source ;;
	dsc)
		# The Debian source package of the source tarball, and its
		# .debian.tar.xz (the next row); none without the tarball.
		if [[ -e $out/zerofil-$version.tar.gz ]]; then
			"$src/scripts/dsc.sh" "$out/zerofil-$version.tar.gz" "$out/$file"
		fi
		;;
	debian) ;;
	srpm) make_srpm ;;
	sbom)
		python3 "$src/scripts/components.py" sbom "$list" "$out" "$version" >"$out/$file"
		;;
	provenance)
		python3 "$src/scripts/components.py" provenance "$list" "$out" "$version" "${tools[@]}" >"$out/$file"
		;;
	sums) make_sums ;;
	signature)
		# Armoured and detached, by the key in the keyring; none without the
		# file it signs (the source tarball outside git).
		[[ ! -e $out/${file%.asc} ]] ||
			gpg --batch --yes --quiet --local-user "$openpgp" --armor --detach-sign \
				--output "$out/$file" "$out/${file%.asc}" || fails "$0: gpg could not sign ${file%.asc} with $openpgp"
		;;
	*) fails "$0: $file: no way to make a release file of format $format" ;;
	esac
done < <(release_files "$list" "file format line arch tree program")
# The winget and Scoop manifests, for their repositories, beside OUT.
if [[ -z $only && -n ${ZEROFIL_MANIFESTS_DIR-} && -n $(release_files "$list" file msi) ]]; then
	rm -rf "${ZEROFIL_MANIFESTS_DIR:?}"/{winget,scoop}
	python3 "$src/scripts/components.py" manifests "$list" "$out" "$version" "${ZEROFIL_DOWNLOAD_URL:?}" \
		"$ZEROFIL_MANIFESTS_DIR"
	echo "$0: the winget and Scoop manifests, to submit to their repositories: $ZEROFIL_MANIFESTS_DIR"
fi
# The recipes of the AUR, Homebrew and Nix, which build the source tarball.
source=$(release_files "$list" file source)
if [[ -z $only && -n ${ZEROFIL_MANIFESTS_DIR-} && -n $source && -e $out/$source ]]; then
	"$src/scripts/recipes.sh" "$out/$source" "$ZEROFIL_MANIFESTS_DIR"
	echo "$0: the AUR's PKGBUILD, the Homebrew formula and the Nix expression: $ZEROFIL_MANIFESTS_DIR"
fi
# The record: what OUT holds now, all of it this script's.
{ (cd "$out" && pwd -P) && (cd "$out" && ls -A); } >"$record.new"
mv "$record.new" "$record"
ls "$out"
