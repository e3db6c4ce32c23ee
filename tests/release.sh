#!/usr/bin/env bash
# release.sh check DIST LIST VERSION: DIST holds exactly the release files
# that LIST (release-files.tsv) names, each as the README says; made first
# by the build folder of LIST, where DIST has no SHA256SUMS yet.
# release.sh line BUILD TARGET DIST LIST VERSION UNPACKED LINE: the program
# of LINE of the table of builds for its rows, built by TARGET of the build
# folder BUILD; for a line that ships, its files are made in DIST unless
# they are newer than the program, and its archive is unpacked into
# UNPACKED/LINE. Nothing of another line is built.
# release.sh again DIST VERSION MUSL: the dist workflow, run from the source
# tarball in another folder whose files carry other times, inside another
# git repository, makes the same files to the bit. MUSL is the folder of
# Debian's musl that this build unpacked: the same packages, not unpacked
# again.
# release.sh foreign LIST: the dist script refuses a folder that holds a
# file of someone else's, and leaves it; and takes one that holds a file
# that its record says it made (an older version's).
# release.sh rpm-root DIST LIST VERSION: the rpm package for this machine
# installs into an empty root, as Fedora keeps its database, and its
# program runs there, its page renders, rpm -V finds nothing, and its
# removal leaves none of its files. Needs root.
# release.sh srpm DIST LIST VERSION: the rpm source package rebuilds here
# (rpmbuild --rebuild, its %check running the table), rpmlint finds nothing
# in it or in the rpm it built but what its settings say why, and that rpm
# installs into an empty root, runs, and removes. Needs root.
# release.sh signed DIST LIST VERSION: the release files of LIST made again
# into another folder, signed with throw-away keys made here (a fresh
# GNUPGHOME, and a self-signed code-signing certificate): each signature
# verifies as a user checks it, and fails for a file changed by one byte,
# a signature by another key and a stripped signature; what signing
# changes is the unsigned file of DIST but for its signature.
# release.sh papers DIST LIST TREE CXX: the checkers of the papers catch a
# fault: in a copy of scripts/ and packaging/, a licence concluded that
# the copyright file does not grant, or that leaves out one it grants,
# stops the notices of the program built in TREE by CXX; a provenance of
# DIST without a packaging tool, or with another source digest, fails the
# release check.
# A check that cannot run here exits 77, which CTest reports as a skip.
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd -P)
# shellcheck source-path=SCRIPTDIR/.. source=scripts/lib.sh
. "$src/scripts/lib.sh"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
export LC_ALL=C

# in_empty_root RPM VERSION [--nodeps]: RPM installs into an empty root,
# its program runs, its page renders, rpm -V finds nothing, and its removal
# leaves none of its files. With --nodeps, the program is dynamic: the
# root holds no C library, so it runs with this machine's.
in_empty_root() {
	local rpm=$1 v=$2 root=$tmp/root verify page
	mkdir "$root"
	in_root=(rpm --root "$root" --dbpath /var/lib/rpm)
	"${in_root[@]}" -i "${@:3}" "$rpm"
	if [[ ${3-} == --nodeps ]]; then
		(cd "$root" && ./usr/bin/zerofil 5 f)
	else
		chroot "$root" /usr/bin/zerofil 5 /f
	fi
	zeros "$root/f" 5
	page=$(echo "$root"/usr/share/man/man1/zerofil.1*)
	page_renders "$v" man --warnings -l "$page"
	verify=$("${in_root[@]}" -V "${@:3}" zerofil) || fails "rpm -V: $verify"
	[[ -z $verify ]] || fails "rpm -V: $verify"
	"${in_root[@]}" -ql zerofil >"$tmp/files"
	"${in_root[@]}" -e "${@:3}" zerofil
	while read -r f; do
		[[ ! -e $root$f && ! -L $root$f ]] || fails "left: $f"
	done <"$tmp/files"
	echo "${rpm##*/}: installed in an empty root, ran, showed its page, verified and removed: $(wc -l <"$tmp/files") paths"
	rm -rf "$root"
}

# skips REASON: say why, and skip
skips() {
	echo "skip: $*"
	exit 77
}

# The signed release's checks (release.sh signed), each on the run's tmp,
# dist, list and v.
# signed_keys: throw-away OpenPGP keys (fpr and other) and code-signing
# certificates (release and other)
signed_keys() {
	export GNUPGHOME=$tmp/gnupg
	mkdir -m 700 "$GNUPGHOME"
	# key NAME: a new OpenPGP key; prints its fingerprint
	key() {
		gpg --batch --quiet --passphrase '' --quick-gen-key "$1 <$1@example.org>" ed25519 sign never
		gpg --batch --with-colons --list-keys "$1@example.org" | awk -F: '$1 == "fpr" { print $10; exit }'
	}
	# cert NAME: a new self-signed code-signing certificate, NAME.pem, and
	# NAME.p12 with its key
	cert() {
		openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=$1" -addext extendedKeyUsage=codeSigning \
			-keyout "$tmp/$1.key" -out "$tmp/$1.pem" 2>/dev/null
		openssl pkcs12 -export -inkey "$tmp/$1.key" -in "$tmp/$1.pem" -out "$tmp/$1.p12" -passout pass:throwaway
	}
	fpr=$(key release) other=$(key other)
	cert release
	cert other
	# What a user trusts: the release key alone.
	gpg --batch --export "$fpr" >"$tmp/release.gpg"
	gpg --batch --armor --export "$fpr" >"$tmp/release.asc"
}

# signed_make: the release made with the release's keys into tmp/out, at
# the time stamp of the files in dist, and its Windows files made twice
signed_make() {
	# The list of a release with an OpenPGP key: a signature of the source
	# tarball and of SHA256SUMS besides, as cmake/dist.cmake writes it.
	awk -F '\t' -v OFS='\t' '{ print } $2 ~ /^(source|sums)$/ { $1 = $1 ".asc"; $2 = "signature"; print }' "$list" \
		>"$tmp/list"
	# The time stamp of the files it is compared with, whatever was
	# committed since they were made: that of their source tarball's files.
	stamp=$(tar --full-time -tvzf "$dist/zerofil-$v.tar.gz" | awk 'NR == 1 { print $4 "T" $5 "Z" }')
	export SOURCE_DATE_EPOCH
	SOURCE_DATE_EPOCH=$(date -u -d "$stamp" +%s)
	signing=(env ZEROFIL_SIGN_OPENPGP="$fpr" ZEROFIL_SIGN_PKCS12="$tmp/release.p12" ZEROFIL_SIGN_PKCS12_PASSWORD=throwaway)
	"${signing[@]}" "$src/scripts/dist.sh" "$tmp/out" "$v" "$tmp/list" >"$tmp/log" 2>&1 || { cat "$tmp/log"; exit 1; }
	# Signed twice, the Windows program is the same: its signing time is
	# the release's.
	while IFS=$'\t' read -r f line; do
		"${signing[@]}" "$src/scripts/dist.sh" --line "$line" "$tmp/again" "$v" "$tmp/list" >"$tmp/log" 2>&1 ||
			{ cat "$tmp/log"; exit 1; }
		cmp "$tmp/out/$f" "$tmp/again/$f" || fails "$f: signed twice, not the same"
		echo "signed twice, the same: $f"
	done < <(release_files "$list" "file line" zip msi)
}

# signed_openpgp: SHA256SUMS and the source tarball verify, and do not once
# changed, signed by another key or stripped
signed_openpgp() {
	python3 "$src/tests/contents.py" provenance "$tmp/list" "$tmp/out" signed
	cd "$out"
	sha256sum --quiet -c SHA256SUMS
	for f in SHA256SUMS "zerofil-$v.tar.gz"; do
		openpgp "$f" || fails "gpgv $f.asc $f: not verified"
		echo "verified: gpgv --keyring release.gpg $f.asc $f"
		mkdir "$tmp/t"
		cp "$f" "$f.asc" "$tmp/t/"
		flip "$tmp/t/$f"
		caught "$f changed by one byte" openpgp "$tmp/t/$f"
		cp "$f" "$tmp/t/$f"
		gpg --batch --yes --quiet --local-user "$other" --armor --detach-sign --output "$tmp/t/$f.asc" "$tmp/t/$f"
		caught "$f signed by another key" openpgp "$tmp/t/$f"
		: >"$tmp/t/$f.asc"
		caught "$f with its signature stripped" openpgp "$tmp/t/$f"
		rm -rf "$tmp/t"
	done
}

# signed_unchanged: what signing leaves alone is the unsigned release's
signed_unchanged() {
	# The files that signing leaves alone are the unsigned ones; the source
	# tarball only if it is still of the commit checked out.
	formats=(tar deb source)
	made_of=$(git get-tar-commit-id < <(gzip -dc "$dist/zerofil-$v.tar.gz"))
	if [[ $made_of != "$(git -C "$src" rev-parse HEAD 2>/dev/null)" ]]; then
		formats=(tar deb)
		echo "not compared: the source tarball, of commit $made_of, not of the one checked out"
	fi
	while IFS=$'\t' read -r f _; do
		cmp "$f" "$dist/$f"
	done < <(release_files "$list" "file format" "${formats[@]}")
	echo "unchanged by signing: $(release_files "$list" file "${formats[@]}" | tr '\n' ' ')"
}

# signed_rpms: each rpm verifies and holds the unsigned payload, and does not
# verify once changed, signed by another key or stripped
signed_rpms() {
	local digest
	while IFS=$'\t' read -r f; do
		rpm_ok "$f" || fails "rpm -K $f: $("${rpm[@]}" -K "$f" 2>&1)"
		echo "verified: rpm -K $f"
		# The signed header holds the unsigned package's payload digest.
		digest=$("${rpm[@]}" -qp --qf '%{PAYLOADDIGEST}' "$f")
		[[ $digest =~ ^[0-9a-f]{64}$ && $digest == $("${rpm[@]}" -qp --qf '%{PAYLOADDIGEST}' "$dist/$f") ]] ||
			fails "$f: the payload is not the unsigned package's"
		cmp <(rpm2cpio "$f") <(rpm2cpio "$dist/$f")
		cp "$f" "$tmp/changed.rpm"
		flip "$tmp/changed.rpm"
		caught "$f changed by one byte" rpm_ok "$tmp/changed.rpm"
		cp "$f" "$tmp/other.rpm"
		rpmsign --resign --define "__gpg $(command -v gpg)" --define "_gpg_name $other" "$tmp/other.rpm" >/dev/null
		caught "$f signed by another key" rpm_ok "$tmp/other.rpm"
		cp "$f" "$tmp/stripped.rpm"
		rpmsign --delsign "$tmp/stripped.rpm" >/dev/null
		caught "$f with its signature stripped" rpm_ok "$tmp/stripped.rpm"
	done < <(release_files "$list" file rpm srpm)
}

# signed_dsc: the signature and the key in Debian's source package
signed_dsc() {
	# Debian's source package: the tarball's signature as the orig
	# tarball's, the release key in debian/upstream, and a watch file that
	# checks each new tarball's signature with it.
	while IFS=$'\t' read -r f; do
		grep -q " zerofil_${v}.orig.tar.gz.asc$" "$f" || fails "$f: names no zerofil_${v}.orig.tar.gz.asc"
		mkdir "$tmp/debian"
		tar -C "$tmp/debian" -xJf "$(release_files "$list" file debian)"
		cmp <(gpg --batch --with-colons --show-keys "$tmp/debian/debian/upstream/signing-key.asc" | grep '^fpr' | head -n 1) \
			<(gpg --batch --with-colons --show-keys "$tmp/release.asc" | grep '^fpr' | head -n 1) ||
			fails "$f: debian/upstream/signing-key.asc is not the release key"
		grep -q 'pgpsigurlmangle=s/\$/.asc/' "$tmp/debian/debian/watch" || fails "$f: debian/watch checks no signature"
		echo "the release key in debian/upstream/signing-key.asc, and debian/watch checks signatures: $f"
		rm -rf "$tmp/debian"
	done < <(release_files "$list" file dsc)
}

# signed_zips: each zip's program verifies, is the unsigned one once its
# signature is removed, and does not verify once changed, signed by
# another key or stripped
signed_zips() {
	while IFS=$'\t' read -r f line program; do
		mkdir "$tmp/signed" "$tmp/unsigned"
		unzip -q -d "$tmp/signed" "$f"
		unzip -q -d "$tmp/unsigned" "$dist/$f"
		exe=$tmp/signed/zerofil-$v-$line/$program
		authenticode "$exe" || fails "osslsigncode verify $program: not verified"
		echo "verified: osslsigncode verify -CAfile release.pem -in $program ($f)"
		osslsigncode remove-signature -in "$exe" -out "$tmp/stripped.exe" >/dev/null
		cmp "$tmp/stripped.exe" "$tmp/unsigned/zerofil-$v-$line/$program" ||
			fails "$program without its signature is not the unsigned program"
		echo "the same as the unsigned program once its signature is removed: $program"
		cp "$exe" "$tmp/changed.exe"
		printf 'X' | dd of="$tmp/changed.exe" bs=1 seek=1024 conv=notrunc status=none
		caught "$program changed by one byte" authenticode "$tmp/changed.exe"
		osslsigncode sign -pkcs12 "$tmp/other.p12" -pass throwaway -h sha256 -in "$tmp/stripped.exe" \
			-out "$tmp/other.exe" >/dev/null
		caught "$program signed by another key" authenticode "$tmp/other.exe"
		caught "$program with its signature stripped" authenticode "$tmp/stripped.exe"
		rm -rf "$tmp/signed" "$tmp/unsigned" "$tmp/"*.exe
	done < <(release_files "$list" "file line program" zip)
}

# signed_msis: each MSI verifies, holds the signed program, and does not
# verify once a property is changed, signed by another key or stripped
signed_msis() {
	# The installer: signed itself, and holding the signed program.
	while IFS=$'\t' read -r f line program; do
		authenticode "$f" || fails "osslsigncode verify $f: not verified"
		echo "verified: osslsigncode verify -CAfile release.pem -in $f"
		mkdir "$tmp/signed"
		msiextract -C "$tmp/signed" "$f" >/dev/null
		zip=$(release_files "$list" "file line" zip | awk -F '\t' -v l="$line" '$2 == l { print $1 }')
		cmp "$tmp/signed/zerofil/$program" <(unzip -p "$zip" "zerofil-$v-$line/$program") ||
			fails "$f: does not hold the signed $program of $zip"
		echo "holds the signed program of $zip: $f"
		# A byte of the file may be in no stream, which the signature covers.
		cp "$f" "$tmp/changed.msi"
		msibuild "$tmp/changed.msi" -q "UPDATE \`Property\` SET \`Value\` = 'changed' WHERE \`Property\` = 'ARPCOMMENTS'"
		caught "$f with a property changed" authenticode "$tmp/changed.msi"
		osslsigncode remove-signature -in "$f" -out "$tmp/stripped.msi" >/dev/null
		caught "$f with its signature stripped" authenticode "$tmp/stripped.msi"
		osslsigncode sign -pkcs12 "$tmp/other.p12" -pass throwaway -h sha256 -in "$tmp/stripped.msi" \
			-out "$tmp/other.msi" >/dev/null
		caught "$f signed by another key" authenticode "$tmp/other.msi"
		rm -rf "$tmp/signed" "$tmp/"*.msi
	done < <(release_files "$list" "file line program" msi)
}

case $1 in
foreign)
	mkdir "$tmp/out"
	echo "mine" >"$tmp/out/notes.txt"
	if "$src/scripts/dist.sh" "$tmp/out" 0 "$2" 2>"$tmp/err"; then fails "dist.sh took a folder with notes.txt in it"; fi
	cat "$tmp/err"
	[[ $(<"$tmp/out/notes.txt") == mine ]] || fails "notes.txt changed"
	[[ $(wc -l <"$tmp/err") == 1 && $(<"$tmp/err") == *notes.txt* ]] || fails "want one line that names notes.txt"
	# What it made there itself, by its record beside the list (a file of
	# an older version, a format since removed), is its own to replace.
	rm "$tmp/out/notes.txt"
	cp "$2" "$tmp/list"
	echo "old" >"$tmp/out/zerofil-0.9.0-linux-sparc.tar.gz"
	printf '%s\n' "$(cd "$tmp/out" && pwd -P)" zerofil-0.9.0-linux-sparc.tar.gz >"$tmp/list.made"
	"$src/scripts/dist.sh" --source "$tmp/out" 0 "$tmp/list" >"$tmp/log" 2>&1 ||
		{ cat "$tmp/log"; fails "dist.sh refused a file that its record says it made"; }
	grep -qx zerofil-0.9.0-linux-sparc.tar.gz "$tmp/list.made" || fails "dist.sh's record forgot a file it made"
	echo "dist.sh took a folder of its own older files, by its record"
	exit
	;;
again)
	dist=$2 v=$3
	tarball=$dist/zerofil-$v.tar.gz
	[[ -f $tarball ]] || skips "no source tarball: this tree is not a git checkout"
	commit=$(git get-tar-commit-id < <(gzip -dc "$tarball"))
	clean_checkout "$src" ||
		skips "the working tree differs from commit $commit, which the tarball holds: commit, then test"
	echo "made again from zerofil-$v.tar.gz, commit $commit"
	# Unpacked inside another repository, as a packaging repository holds
	# it: its commit's time must not reach the release.
	mkdir -p "$tmp/b/elsewhere"
	git -C "$tmp/b" init -q
	GIT_COMMITTER_DATE=2001-02-03T00:00:00Z git -C "$tmp/b" -c user.name=other -c user.email=other@example.org \
		commit -q --allow-empty -m other
	tar -C "$tmp/b/elsewhere" -xzf "$tarball"
	tree=$tmp/b/elsewhere/zerofil-$v
	find "$tree" -exec touch -h -d 2001-02-03 {} +
	mkdir -p "$tree/build/dist-trees"
	cp -al "$4" "$tree/build/dist-trees/musl" 2>/dev/null || cp -a "$4" "$tree/build/dist-trees/musl"
	(cd "$tree" && env -u SOURCE_DATE_EPOCH ZEROFIL_SOURCE_TARBALL="$tarball" cmake --workflow --preset dist) \
		>"$tmp/log" 2>&1 || { cat "$tmp/log"; exit 1; }
	diff "$dist/SHA256SUMS" "$tree/build/dist/SHA256SUMS"
	# Without a key, one line says what is left unsigned.
	[[ $(grep -c 'no key for' "$tmp/log") == 1 ]] || fails "no line, or more than one, says that the files are unsigned"
	cat "$dist/SHA256SUMS"
	exit
	;;
rpm-root)
	dist=$2 list=$3 v=$4
	rpm=$(release_files "$list" "file arch" rpm | awk -F '\t' -v a="$(uname -m)" '$2 == a { print $1 }')
	[[ -n $rpm ]] || skips "no rpm package for $(uname -m)"
	in_empty_root "$dist/$rpm" "$v"
	exit
	;;
srpm)
	dist=$2 list=$3 v=$4
	srpm=$(release_files "$list" file srpm)
	[[ -f $dist/$srpm ]] || skips "no rpm source package: this tree is not a git checkout"
	# Rebuilt as a packager does; Debian's rpm database knows none of the
	# BuildRequires, which Debian's packages provide.
	rpmbuild --rebuild --nodeps --define "_topdir $tmp/top" "$dist/$srpm" >"$tmp/log" 2>&1 ||
		{ tail -n 60 "$tmp/log"; fails "rpmbuild --rebuild $srpm failed"; }
	grep -E '^ *1/1 Test +#1: table \.+ +Passed' "$tmp/log" || fails "%check did not run the table"
	# The package; where rpm has find-debuginfo (Debian 13), its
	# -debuginfo and -debugsource beside it.
	rpms=("$tmp/top/RPMS"/*/"zerofil-$v-"*.rpm)
	((${#rpms[@]} == 1)) || fails "rpmbuild --rebuild made ${#rpms[@]} packages zerofil, want 1"
	rpm=${rpms[0]}
	echo "rebuilt: ${rpm##*/}, by rpm $(rpm --version | awk '{ print $NF }')"
	# rpmlint finds nothing, but what its settings say why.
	{ cat "$src/packaging/rpm/rpmlint.toml" && python3 "$src/scripts/components.py" rpmlint; } >"$tmp/rpmlint.toml"
	rpmlint -c "$tmp/rpmlint.toml" "$dist/$srpm" >"$tmp/lint" 2>&1 || { cat "$tmp/lint"; fails "rpmlint $srpm"; }
	# rpmlint takes one settings file: the two merged, lists joined.
	python3 - "$tmp/rpmlint.toml" "$src/packaging/rpm/rebuilt-here.toml" >"$tmp/rebuilt.toml" <<-'EOF'
		import json, sys, tomllib
		merged = {}
		for path in sys.argv[1:]:
		    for key, value in tomllib.load(open(path, "rb")).items():
		        merged[key] = merged.get(key, []) + value if isinstance(value, list) else value
		for key, value in merged.items():
		    print(f"{key} = {json.dumps(value)}")
	EOF
	rpmlint -c "$tmp/rebuilt.toml" "$rpm" >>"$tmp/lint" 2>&1 ||
		{ cat "$tmp/lint"; fails "rpmlint ${rpm##*/}"; }
	if grep -E '[1-9][0-9]* (errors|warnings)' "$tmp/lint"; then cat "$tmp/lint"; fails "rpmlint found the above"; fi
	echo "rpmlint $(rpmlint --version) on $srpm and ${rpm##*/}: 0 errors, 0 warnings"
	# --nodeps reads no BuildRequires: each program the tests need, as the
	# Debian source package names them (<!nocheck>), must be one.
	build_requires=$(rpm -qp --requires "$dist/$srpm")
	for p in $(sed -n 's/^Build-Depends://p' "$src/packaging/debian-source/control.in" | tr ',' '\n' |
		sed -n 's/^ *\([a-z0-9.+-]*\) *<!nocheck>.*/\1/p'); do
		grep -qx "$p" <<<"$build_requires" || fails "$srpm: no BuildRequires: $p, which its %check runs"
	done
	# Its licence, marked as one.
	licences=$(rpm -qp --licensefiles "$rpm")
	grep -q '/LICENSE$' <<<"$licences" || fails "${rpm##*/}: no licence file (%license): ${licences:-none}"
	# Built against the C library, which it alone requires.
	requires=$(rpm -qp --requires "$rpm")
	if grep -v -E '^(rpmlib\(|libc\.so\.6|rtld\()' <<<"$requires"; then fails "${rpm##*/}: requires more than the C library"; fi
	rpm2cpio "$rpm" | cpio --quiet -i --to-stdout ./usr/bin/zerofil >"$tmp/prog"
	[[ $(readelf -l "$tmp/prog") == *"program interpreter"* ]] || fails "${rpm##*/}: the program is not dynamic"
	in_empty_root "$rpm" "$v" --nodeps
	exit
	;;
signed)
	dist=$(realpath "$2") list=$(realpath "$3") v=$4
	[[ -r $list && -d $dist ]] || fails "$0: no release list $3, or no folder $2"
	for t in gpg gpgv rpmsign osslsigncode openssl; do command -v "$t" >/dev/null || skips "no $t"; done
	signed_keys
	signed_make
	out=$tmp/out
	rpm=(rpm --dbpath "$tmp/rpmdb")
	"${rpm[@]}" --import "$tmp/release.asc"
	# The checks a user runs, each of which must pass on what was released.
	openpgp() { gpgv --keyring "$tmp/release.gpg" "$1.asc" "$1" 2>/dev/null; }
	rpm_ok() { [[ $("${rpm[@]}" -K "$1" 2>&1) == *": digests signatures OK" ]]; }
	authenticode() { osslsigncode verify -CAfile "$tmp/release.pem" -in "$1" >/dev/null 2>&1; }
	# caught WHAT CHECK FILE: CHECK fails on FILE
	caught() {
		if "$2" "$3"; then fails "not caught: $1"; fi
		echo "caught: $1"
	}
	# flip FILE: FILE with one bit changed, near its end
	flip() {
		local at byte
		at=$(($(stat -c %s "$1") * 9 / 10))
		byte=$(od -An -tu1 -j "$at" -N1 "$1" | tr -d ' ')
		# shellcheck disable=SC2059 # an octal escape, made here
		printf "\\$(printf '%03o' $((byte ^ 1)))" | dd of="$1" bs=1 seek="$at" conv=notrunc status=none
	}
	signed_openpgp
	signed_unchanged
	signed_rpms
	signed_dsc
	signed_zips
	signed_msis
	exit
	;;
papers)
	dist=$2 list=$3 tree=$4 cxx=$5
	# fails_with WHAT WANT COMMAND...: COMMAND fails, and says WANT
	fails_with() {
		local out
		if out=$("${@:3}" 2>&1); then fails "not caught: $1"; fi
		[[ $out == *"$2"* ]] || fails "$1: $out"
		echo "caught: $1: $out"
	}
	top=$tmp/top
	mkdir -p "$top" "$tmp/notices"
	cp -r "$src/scripts" "$src/packaging" "$top/"
	notices=(python3 "$top/scripts/components.py" notices "$tree/zerofil.map" "$cxx" "$tmp/notices")
	out=$("${notices[@]}" 2>&1) || fails "the notices fail without a fault: $out"
	# concluded WHAT SED WANT: with components.tsv edited by SED, the
	# notices fail, saying WANT
	concluded() {
		sed "$2" "$src/packaging/components.tsv" >"$top/packaging/components.tsv"
		cmp -s "$src/packaging/components.tsv" "$top/packaging/components.tsv" && fails "$2 changes nothing"
		fails_with "$1" "$3" "${notices[@]}"
	}
	concluded "musl without ISC" 's/ AND ISC AND / AND /' "leaves out ISC"
	concluded "musl under a licence its file does not grant" 's/^musl	musl	MIT /musl	musl	GPL-3.0-or-later AND MIT /' \
		"names GPL-3.0-or-later, which its copyright file"
	concluded "GCC's runtime without its exception" 's/GPL-3.0-or-later WITH GCC-exception-3.1/GPL-3.0-or-later/' \
		"leaves out GCC-exception-3.1"
	mkdir "$tmp/d"
	cp "$dist"/* "$tmp/d/"
	prov=$(release_files "$list" file provenance)
	checked=(python3 "$src/tests/contents.py" provenance "$list" "$tmp/d")
	out=$("${checked[@]}" 2>&1) || fails "the provenance fails without a fault: $out"
	# provenance WHAT PYTHON WANT: with the statement S changed by PYTHON,
	# the release check fails, saying WANT
	provenance() {
		python3 -c "import json, sys
s = json.loads(open(sys.argv[1]).read())
b = s['predicate']['buildDefinition']
$2
print(json.dumps(s))" "$dist/$prov" >"$tmp/d/$prov"
		fails_with "$1" "$3" "${checked[@]}"
	}
	provenance "no rpmbuild" "b['resolvedDependencies'] = [d for d in b['resolvedDependencies'] if 'packaging tool: rpmbuild' not in d['annotations']['roles']]" \
		"names no packaging tool rpmbuild"
	provenance "another source digest" "b['externalParameters']['source']['digest']['sha256'] = '0' * 64" \
		"not $(release_files "$list" file source)"
	exit
	;;
line)
	build=$2 target=$3 dist=$4 list=$5 v=$6 out=$7 line=$8
	cmake --build "$build" --target "$target" >"$tmp/log" 2>&1 || { cat "$tmp/log"; exit 1; }
	files=$(release_files "$list" "file format line tree program" | awk -F '\t' -v l="$line" '$3 == l')
	[[ -n $files ]] || { echo "$target: built"; exit; }
	fresh=1
	while IFS=$'\t' read -r f _ _ tree program; do
		[[ $dist/$f -nt $tree/${program##*/} ]] || fresh=0
	done <<<"$files"
	if ((!fresh)); then
		"$src/scripts/dist.sh" --line "$line" "$dist" "$v" "$list" >"$tmp/log" 2>&1 || { cat "$tmp/log"; exit 1; }
		echo "made: $(cut -f 1 <<<"$files" | tr '\n' ' ')"
	fi
	rm -rf "${out:?}/$line"
	mkdir -p "$out/$line"
	while IFS=$'\t' read -r f format _ _ _; do
		case $format in
		tar) tar -C "$out/$line" --strip-components=1 -xzf "$dist/$f" ;;
		zip) unzip -q -d "$tmp/zip" "$dist/$f" && mv "$tmp/zip/zerofil-$v-$line"/* "$out/$line/" ;;
		*) continue ;;
		esac
		echo "unpacked $f into unpacked/$line"
	done <<<"$files"
	exit
	;;
check) ;;
*) fails "usage: $0 check|line|again|foreign|rpm-root|srpm|signed|papers ..." ;;
esac

dist=$2 list=$3 v=$4
out=$tmp/unpacked
# Run alone on a fresh build folder (beside a root's line, say), the
# release is not made yet: the build makes it.
if [[ ! -e $dist/SHA256SUMS ]]; then
	cmake --build "${list%/*}" >"$tmp/log" 2>&1 || { cat "$tmp/log"; exit 1; }
	echo "made the release: cmake --build ${list%/*}"
fi
cd "$dist"
sha256sum --quiet -c SHA256SUMS
# Bare names, so that sha256sum -c works in the download folder.
if grep -v '^[0-9a-f]\{64\}  zerofil[-_][^/]*$' SHA256SUMS; then fails "SHA256SUMS: a name that is not bare"; fi
# Exactly the files of the list: each there, and nothing else.
release_files "$list" file | sort >"$tmp/want"
find . -mindepth 1 -maxdepth 1 -printf '%P\n' | sort >"$tmp/got"
diff "$tmp/want" "$tmp/got" || fails "$dist does not hold exactly the release files (< missing, > not one)"
release_files "$list" "file format" | awk -F '\t' '$2 !~ /^(sums|signature)$/ { print $1 }' | sort |
	diff - <(sed 's/^[0-9a-f]*  //' SHA256SUMS | sort) || fails "SHA256SUMS does not name each other release file"

# archived LINE: the program of the line's archive, unpacked
archived() {
	release_files "$list" "line unpacked program" tar zip | awk -F '\t' -v l="$1" -v o="$out" '$1 == l { print o "/" $2 "/" $3 }'
}
# The check of each format of release file, on FILE and its row's line,
# arch, unpacked and program.
# check_tar FILE: the archive holds the program and its papers, stripped, static and without glibc
check_tar() {
	local f=$1
	mkdir -p "$out/$unpacked"
	tar -C "$out/$unpacked" --strip-components=1 -xzf "$f"
	want=""
	for n in "" LICENSE README.md THIRD-PARTY-NOTICES "$program" zerofil.1; do want+="zerofil-$v-$line/$n "; done
	[[ $(tar -tzf "$f" | sort | tr '\n' ' ') == "$want" ]] || fails "$f holds: $(tar -tzf "$f")"
	elf=$(readelf -lSV "$out/$unpacked/$program")
	[[ $elf != *.symtab* ]] || fails "$f: not stripped"
	[[ $elf != *interpreter* ]] || fails "$f: not static"
	# On musl: no glibc inside, neither its strings nor its symbol versions.
	[[ $elf != *GLIBC_* ]] || fails "$f: glibc's symbol versions"
	if grep -a -i -o -m 3 '[[:print:]]*glibc[[:print:]]*' "$out/$unpacked/$program"; then fails "$f: holds glibc"; fi
}

# check_zip FILE: the zip holds the Windows program and its papers, as text for Notepad
check_zip() {
	local f=$1
	unzip -q -d "$tmp/zip" "$f"
	mv "$tmp/zip/zerofil-$v-$line" "$out/$unpacked"
	[[ $(cd "$out/$unpacked" && echo *) == "LICENSE.txt README.txt THIRD-PARTY-NOTICES.txt $program" ]] ||
		fails "$f holds: $(unzip -l "$f")"
	# Text for Notepad: every line ends in CR LF.
	if grep -v $'\r$' "$out/$unpacked/README.txt" "$out/$unpacked/LICENSE.txt"; then fails "$f: a line without CR LF"; fi
}

# check_msi FILE: the MSI holds the zip's files, installed per machine on the system PATH
check_msi() {
	local f=$1
	# The zip's files, to the byte, installed per machine into
	# Program Files\zerofil, at the list's version, with the one
	# UpgradeCode, and the folder on the system PATH.
	msiextract -C "$tmp/msi" "$f" >/dev/null
	mv "$tmp/msi/zerofil" "$out/$unpacked"
	diff -r "$out/$unpacked" "$(dirname "$(archived "$line")")" || fails "$f: not the files of the zip"
	# table NAME: the table of the MSI, its lines ended in LF
	table() { msiinfo export "$f" "$1" | tr -d '\r'; }
	property() { table Property | awk -F '\t' -v p="$1" '$1 == p { print $2 }'; }
	[[ $(property ProductVersion) == "$v" ]] || fails "$f: version $(property ProductVersion), want $v"
	[[ $(property ALLUSERS) == 1 ]] || fails "$f: not per machine"
	upgrade="{$(upgrade_code)}"
	[[ $(property UpgradeCode) == "$upgrade" ]] || fails "$f: UpgradeCode $(property UpgradeCode), want $upgrade"
	[[ $(table Directory) == *$'\tProgramFiles64Folder\tzerofil'* ]] || fails "$f: not in Program Files"
	[[ $(table Environment) == *$'\n'PATH$'\t'=-\*PATH$'\t'* ]] || fails "$f: no PATH entry"
}

# check_deb FILE: the .deb passes lintian and holds its line's program, page and papers
check_deb() {
	local f=$1
	# lintian reports no error and no warning it was not told of, the
	# architecture is the list's, it holds the program of its line's
	# archive, and its page and papers are there.
	found=$(TMPDIR=$tmp lintian --fail-on error,warning "$f" 2>&1) || fails "$found"
	echo "lintian $f: ${found:-clean}"
	[[ $(dpkg-deb -f "$f" Architecture) == "$arch" ]] || fails "$f: architecture $(dpkg-deb -f "$f" Architecture), want $arch"
	dpkg -x "$f" "$out/$unpacked"
	cmp "$out/$unpacked/$program" "$(archived "$line")"
	page_renders "$v" man --warnings -l "$out/$unpacked/usr/share/man/man1/zerofil.1.gz"
	ls "$out/$unpacked/usr/share/doc/zerofil/copyright" "$out/$unpacked/usr/share/doc/zerofil/changelog.gz"
}

# check_rpm FILE: the rpm passes rpmlint and holds its line's program, page and papers
check_rpm() {
	local f=$1
	# rpmlint under Fedora's policy reports no error; the name is what
	# rpm says; only rpm's own features are required; the payload is
	# one that rpm 4.14 reads; it holds the program of its line's
	# archive, its page and papers.
	[[ -f $tmp/rpmlint.toml ]] ||
		{ cat "$src/packaging/rpm/rpmlint.toml" && python3 "$src/scripts/components.py" rpmlint; } >"$tmp/rpmlint.toml"
	found=$(rpmlint -c "$tmp/rpmlint.toml" "$f" 2>&1) || fails "$found"
	echo "rpmlint $f: $(tail -n 1 <<<"$found")"
	query() { rpm -qp --qf "$1" "$f"; }
	[[ $(query '%{NAME}-%{VERSION}-%{RELEASE}.%{ARCH}.rpm') == "$f" ]] ||
		fails "$f: rpm names it $(query '%{NAME}-%{VERSION}-%{RELEASE}.%{ARCH}.rpm')"
	requires=$(rpm -qp --requires "$f")
	if grep -v '^rpmlib(' <<<"$requires"; then fails "$f: requires more than rpm itself"; fi
	[[ $(query '%{PAYLOADCOMPRESSOR}') == @(xz|gzip) ]] || fails "$f: a payload of $(query '%{PAYLOADCOMPRESSOR}')"
	mkdir "$out/$unpacked"
	(cd "$out/$unpacked" && rpm2cpio "$dist/$f" | cpio --quiet -idm)
	cmp "$out/$unpacked/$program" "$(archived "$line")"
	page_renders "$v" man --warnings -l "$out/$unpacked/usr/share/man/man1/zerofil.1.gz"
	ls "$out/$unpacked/usr/share/doc/zerofil-$v/README.md" "$out/$unpacked/usr/share/licenses/zerofil-$v/"{LICENSE,THIRD-PARTY-NOTICES}
}

# check_dsc FILE: Debian's source package of the release's tarball, and its watch file
check_dsc() {
	local f=$1
	# Version 1 of this version, of the release's very tarball under
	# Debian's name (the release holds no other copy) and of the
	# .debian.tar.xz beside it; its debian/ folder is the packaging's.
	field() { awk -v f="$1:" '$1 == f { $1 = ""; print substr($0, 2) }' "$f"; }
	[[ $(field Version) == "$v-1" && $(field Format) == "3.0 (quilt)" ]] ||
		fails "$f: version $(field Version), format $(field Format)"
	debian=$(release_files "$list" file debian)
	sums=$(sed -n '/^Checksums-Sha256:/,/^[^ ]/p' "$f")
	while read -r file as; do
		grep -qx " $(sha256sum <"$file" | cut -d ' ' -f 1) $(stat -c %s "$file") $as" <<<"$sums" ||
			fails "$f: does not name $file as $as"
	done <<<"zerofil-$v.tar.gz zerofil_$v.orig.tar.gz"$'\n'"$debian $debian"
	mkdir "$tmp/debian"
	tar -C "$tmp/debian" -xJf "$debian"
	[[ -x $tmp/debian/debian/rules && $(<"$tmp/debian/debian/source/format") == "3.0 (quilt)" ]] ||
		fails "$debian: no debian/rules, or not 3.0 (quilt)"
	diff "$src/packaging/debian/copyright" "$tmp/debian/debian/copyright"
	# uscan finds the next release by debian/watch's pattern, a Perl
	# one: it must take this release's tarball, its version from the name.
	pattern=$(awk '!/^(#|version=)/ && NF { print $NF }' "$tmp/debian/debian/watch" | tail -n 1)
	# shellcheck disable=SC2016 # perl's own, as uscan's
	found=$(perl -e 'print $1 if $ARGV[1] =~ /^$ARGV[0]$/' "$pattern" "zerofil-$v.tar.gz")
	[[ $found == "$v" ]] || fails "$debian: debian/watch's pattern $pattern takes ${found:-nothing} from zerofil-$v.tar.gz"
}

# check_srpm FILE: the rpm source package of the release's tarball
check_srpm() {
	local f=$1
	# Built from the release's very tarball, at this version.
	[[ $(rpm -qp --qf '%{NAME}-%{VERSION}-%{RELEASE}' "$f" 2>/dev/null) == "${f%.src.rpm}" ]] ||
		fails "$f: rpm names it $(rpm -qp --qf '%{NAME}-%{VERSION}-%{RELEASE}' "$f")"
	mkdir "$tmp/srpm"
	(cd "$tmp/srpm" && rpm2cpio "$dist/$f" | cpio --quiet -idm)
	cmp "$tmp/srpm/zerofil-$v.tar.gz" "zerofil-$v.tar.gz"
	# The tarball and the recipe, which rpm flags "s".
	held=$(rpm -qp --qf '[%{FILENAMES} %{FILEFLAGS:fflags}\n]' "$f" 2>/dev/null | sort)
	[[ $held == "zerofil-$v.tar.gz "$'\n'zerofil.*" s" ]] || fails "$f holds: $held"
}

# The archives first: each package is compared with its line's archive.
while IFS=$'\t' read -r f format line arch unpacked program; do
	case $format in
	tar) check_tar "$f" ;;
	zip) check_zip "$f" ;;
	msi) check_msi "$f" ;;
	deb) check_deb "$f" ;;
	rpm) check_rpm "$f" ;;
	dsc) check_dsc "$f" ;;
	srpm) check_srpm "$f" ;;
	esac
done < <(for formats in "tar zip" "msi deb rpm dsc srpm"; do
	# shellcheck disable=SC2086 # two formats
	release_files "$list" "file format line arch unpacked program" $formats
done)
# What each release file says it holds, against each program's link map.
python3 "$src/tests/contents.py" "$list" "$dist" "$out"
# A bill of materials without the licence texts it refers to fails it.
mkdir "$tmp/sbom"
cp "$dist"/* "$tmp/sbom/"
sbom=$tmp/sbom/$(release_files "$list" file sbom)
python3 -c 'import json, sys; d = json.load(open(sys.argv[1])); d.pop("hasExtractedLicensingInfos"); json.dump(d, open(sys.argv[1], "w"))' "$sbom"
if said=$(python3 "$src/tests/contents.py" "$list" "$tmp/sbom" "$out" 2>&1); then fails "contents.py passed a bill of materials without its licence texts"; fi
[[ $said == *"has no extracted text"* ]] || fails "a bill of materials without its licence texts: $said"
echo "caught: a bill of materials without its licence texts: $(head -n 1 <<<"$said")"
