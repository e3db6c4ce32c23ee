#!/usr/bin/env bash
# release.sh DIST UNPACKED VERSION: the release files in DIST are what the
# README says; unpack each program into UNPACKED/LINE for the table's rows.
# release.sh DIST again VERSION: the dist workflow, run from the source
# tarball in another folder whose files carry other times, inside another
# git repository, makes the same files to the bit.
# release.sh DIST foreign: the dist script refuses a folder that holds a
# file of someone else's, and leaves it.
set -euo pipefail
shopt -s nullglob
dist=$1 mode=$2 v=${3-}
src=$(cd "$(dirname "$0")/.." && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
export LC_ALL=C

# fails MESSAGE...: say why, and fail
fails() { echo "$*"; exit 1; }

if [[ $mode == foreign ]]; then
	mkdir "$tmp/out"
	echo "mine" >"$tmp/out/notes.txt"
	if "$src/scripts/dist.sh" "$tmp/out" 0 2>"$tmp/err"; then fails "dist.sh took a folder with notes.txt in it"; fi
	cat "$tmp/err"
	[[ $(<"$tmp/out/notes.txt") == mine ]] || fails "notes.txt changed"
	[[ $(wc -l <"$tmp/err") == 1 && $(<"$tmp/err") == *notes.txt* ]] || fails "want one line that names notes.txt"
	exit
fi

if [[ $mode == again ]]; then
	tarball=$dist/zerofil-$v.tar.gz
	[[ -f $tarball ]] || { echo "skip: no source tarball: this tree is not a git checkout"; exit; }
	commit=$(git get-tar-commit-id < <(gzip -dc "$tarball"))
	echo "made again from zerofil-$v.tar.gz, commit $commit"
	if [[ -n $(git -C "$src" status --porcelain --untracked-files=no) ]]; then
		echo "skip: the working tree differs from commit $commit, which the tarball holds: commit, then test"
		exit
	fi
	# Unpacked inside another repository, as a packaging repository holds
	# it: its commit's time must not reach the release.
	mkdir -p "$tmp/b/elsewhere"
	git -C "$tmp/b" init -q
	GIT_COMMITTER_DATE=2001-02-03T00:00:00Z git -C "$tmp/b" -c user.name=other -c user.email=other@example.org \
		commit -q --allow-empty -m other
	tar -C "$tmp/b/elsewhere" -xzf "$tarball"
	tree=$tmp/b/elsewhere/zerofil-$v
	find "$tree" -exec touch -h -d 2001-02-03 {} +
	(cd "$tree" && env -u SOURCE_DATE_EPOCH cmake --workflow --preset dist) >"$tmp/log" 2>&1 || { cat "$tmp/log"; exit 1; }
	grep -v " zerofil-$v.tar.gz$" "$dist/SHA256SUMS" >"$tmp/want"
	diff "$tmp/want" "$tree/build/dist/SHA256SUMS"
	cat "$tmp/want"
	exit
fi

out=$(realpath -m "$mode")
cd "$dist"
sha256sum --quiet -c SHA256SUMS
# Bare names, so that sha256sum -c works in the download folder.
if grep -v '^[0-9a-f]\{64\}  zerofil[-_][^/]*$' SHA256SUMS; then fails "SHA256SUMS: a name that is not bare"; fi
for f in *; do
	[[ $f == SHA256SUMS ]] || grep -q "  $f$" SHA256SUMS || fails "$f is not in SHA256SUMS"
done
rm -rf "$out"
for f in zerofil-"$v"-*.tar.gz; do
	line=${f#zerofil-"$v"-}
	line=${line%.tar.gz}
	mkdir -p "$out/$line"
	tar -C "$out/$line" --strip-components=1 -xzf "$f"
	[[ $(tar -tzf "$f" | sort | tr '\n' ' ') == "zerofil-$v-$line/ zerofil-$v-$line/LICENSE zerofil-$v-$line/README.md zerofil-$v-$line/zerofil zerofil-$v-$line/zerofil.1 " ]] ||
		fails "$f holds: $(tar -tzf "$f")"
	elf=$(readelf -lS "$out/$line/zerofil")
	[[ $elf != *.symtab* ]] || fails "$f: not stripped"
	[[ $elf != *interpreter* ]] || fails "$f: not static"
done
for f in zerofil-"$v"-windows-*.zip; do
	line=${f#zerofil-"$v"-}
	line=${line%.zip}
	unzip -q -d "$tmp/zip" "$f"
	mv "$tmp/zip/zerofil-$v-$line" "$out/$line"
	[[ $(cd "$out/$line" && echo *) == "LICENSE.txt README.txt zerofil.exe" ]] || fails "$f holds: $(unzip -l "$f")"
	# Text for Notepad: every line ends in CR LF.
	if grep -v $'\r$' "$out/$line/README.txt" "$out/$line/LICENSE.txt"; then fails "$f: a line without CR LF"; fi
done

# Each .deb: lintian reports no error and no warning it was not told of,
# it holds the program of its archive, and its page and papers are there.
for f in zerofil_"$v"_*.deb; do
	arch=${f%.deb}
	arch=${arch##*_}
	found=$(TMPDIR=$tmp lintian --fail-on error,warning "$f" 2>&1) || fails "$found"
	echo "lintian $f: ${found:-clean}"
	dpkg -x "$f" "$out/deb-$arch"
	line=$(dpkg-deb -f "$f" Architecture | sed 's/amd64/x86_64/; s/arm64/aarch64/')
	cmp "$out/deb-$arch/usr/bin/zerofil" "$out/linux-$line/zerofil"
	MANWIDTH=80 man --warnings -l "$out/deb-$arch/usr/share/man/man1/zerofil.1.gz" 2>"$tmp/warnings" >/dev/null
	[[ ! -s $tmp/warnings ]] || fails "$(cat "$tmp/warnings")"
	ls "$out/deb-$arch/usr/share/doc/zerofil/copyright" "$out/deb-$arch/usr/share/doc/zerofil/changelog.gz"
done
