#!/usr/bin/env bash
# dist.sh VERSION: make the release files twice, from clones in two folders
# whose files carry different times; both must be the same to the bit.
# Then check what they hold. Nothing is installed on this machine.
set -euo pipefail
v=$1
src=$(cd "$(dirname "$0")/.." && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
export LC_ALL=C
unset SOURCE_DATE_EPOCH	# taken from the last commit

for clone in "$tmp/a" "$tmp/b/elsewhere"; do
	git clone -q "$src" "$clone"
	[[ $clone == */a ]] || find "$clone" -exec touch -h -d 2001-02-03 {} +
	(cd "$clone" && cmake --workflow --preset dist) >"$tmp/log" 2>&1 || { cat "$tmp/log"; exit 1; }
done
cmp "$tmp/a/build/dist/SHA256SUMS" "$tmp/b/elsewhere/build/dist/SHA256SUMS"
cat "$tmp/a/build/dist/SHA256SUMS"

cd "$tmp/a/build/dist"
want="SHA256SUMS zerofil-$v-linux-aarch64.tar.gz zerofil-$v-linux-x86_64.tar.gz zerofil-$v-windows-x86_64.zip zerofil_${v}_amd64.deb"
[[ $(echo *) == "$want" ]] || { echo "build/dist holds: $(echo *)"; exit 1; }
sha256sum --quiet -c SHA256SUMS

# Each archive: one folder, the stripped program and its documents.
mkdir "$tmp/x"
for arch in x86_64 aarch64; do
	d=zerofil-$v-linux-$arch
	tar -C "$tmp/x" -xzf "$d.tar.gz"
	[[ $(cd "$tmp/x/$d" && echo *) == "LICENSE README.md zerofil zerofil.1" ]]
	if [[ $(readelf -S "$tmp/x/$d/zerofil") == *.symtab* ]]; then echo "$d: not stripped"; exit 1; fi
done
"$tmp/x/zerofil-$v-linux-x86_64/zerofil" 3 "$tmp/f3"
qemu-aarch64 "$tmp/x/zerofil-$v-linux-aarch64/zerofil" 4 "$tmp/f4"
cmp -n 7 <(cat "$tmp/f3" "$tmp/f4") /dev/zero && [[ $(cat "$tmp/f3" "$tmp/f4" | wc -c) == 7 ]]
unzip -q -d "$tmp/x" "zerofil-$v-windows-x86_64.zip"
d=$tmp/x/zerofil-$v-windows-x86_64
[[ $(cd "$d" && echo *) == "LICENSE.txt README.txt zerofil.exe" ]]
# Text for Notepad: every line ends in CR LF.
if grep -v $'\r$' "$d/README.txt" "$d/LICENSE.txt"; then exit 1; fi

# The .deb: lintian reports no error or warning, and its program and page work unpacked.
found=$(TMPDIR=$tmp lintian --fail-on error,warning "zerofil_${v}_amd64.deb" 2>&1) || { echo "$found"; exit 1; }
dpkg -x "zerofil_${v}_amd64.deb" "$tmp/deb"
"$tmp/deb/usr/bin/zerofil" 5 "$tmp/f5" && cmp -n 5 "$tmp/f5" /dev/zero && [[ $(wc -c <"$tmp/f5") == 5 ]]
MANWIDTH=80 man --warnings -l "$tmp/deb/usr/share/man/man1/zerofil.1.gz" 2>"$tmp/warnings" >/dev/null
[[ ! -s $tmp/warnings ]] || { cat "$tmp/warnings"; exit 1; }
ls "$tmp/deb/usr/share/doc/zerofil/copyright" "$tmp/deb/usr/share/doc/zerofil/changelog.gz"
