#!/usr/bin/env bash
# package.sh BUILD VERSION: a plain install of BUILD is a normal dynamic program
# with its manual page, which shows the version, and its documents.
set -euo pipefail
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

cmake --install "$1" --prefix "$tmp/usr" >/dev/null
readelf -l "$tmp/usr/bin/zerofil" | grep -q 'program interpreter'
"$tmp/usr/bin/zerofil" 3 "$tmp/f"
cmp -n 3 "$tmp/f" /dev/zero
[[ $(wc -c <"$tmp/f") == 3 ]]
ls "$tmp/usr/share/doc/zerofil/README.md" "$tmp/usr/share/doc/zerofil/LICENSE"
page=$(MANWIDTH=80 man --warnings -l "$tmp/usr/share/man/man1/zerofil.1" 2>"$tmp/warnings")
[[ ! -s $tmp/warnings ]] || { cat "$tmp/warnings"; exit 1; }
grep -q "zerofil $2" <<<"$page" || { echo "the page does not show version $2"; exit 1; }
