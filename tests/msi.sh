#!/usr/bin/env bash
# msi.sh install DIST LIST VERSION UNPACKED STATE: under Wine (its prefix
# is WINEPREFIX), the release's MSI of LIST installs over an older one,
# made here from the same files of the zip (unpacked in UNPACKED) at a
# lower version: then there is one entry in Apps & Features, at VERSION,
# and one zerofil folder on the system PATH, through which a new process
# finds zerofil; installing the older one again is refused. It stays
# installed, for the rows; STATE keeps the PATH from before.
# msi.sh uninstall DIST LIST STATE: msiexec /x removes it: its files, its
# entry, and its folder from the PATH, which is again what it was before.
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd -P)
# shellcheck source-path=SCRIPTDIR/.. source=scripts/lib.sh
. "$src/scripts/lib.sh"
PATH=$PATH:/usr/lib/wine
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
what=$1 dist=$2 list=$3
read -r msi line < <(release_files "$list" "file line" msi)
folder="$WINEPREFIX/drive_c/Program Files/zerofil"
environment='HKLM\System\CurrentControlSet\Control\Session Manager\Environment'
uninstall='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
# wine_path: the system PATH, as the registry holds it
wine_path() { wine64 reg query "$environment" /v PATH | tr -d '\r' | sed -n 's/^ *PATH *REG_[A-Z_]* *//p'; }
# entries: "DisplayName DisplayVersion" of each program in Apps & Features
# named zerofil
entries() {
	wine64 reg query "$uninstall" /s | tr -d '\r' | awk '
		/^HKEY/ { if (n == "zerofil") print n, v; n = v = "" }
		$1 == "DisplayName" { n = $3 } $1 == "DisplayVersion" { v = $3 }
		END { if (n == "zerofil") print n, v }'
}
# msiexec ARGS...: Wine's msiexec, without a window
msiexec() { wine64 msiexec "$@" /qn; }

case $what in
install)
	v=$4 unpacked=$5 state=$6
	SOURCE_DATE_EPOCH=0 "$src/scripts/msi.sh" "$unpacked/$line" 0.0.1 "$tmp/old.msi"
	# Nothing of an earlier run.
	for f in "$dist/$msi" "$tmp/old.msi"; do msiexec /x "$f" 2>/dev/null || true; done
	[[ -z $(entries) ]] || fails "zerofil is installed already: $(entries)"
	wine_path >"$state"
	msiexec /i "$tmp/old.msi" || fails "the older MSI does not install"
	[[ $(entries) == "zerofil 0.0.1" ]] || fails "after the older one: $(entries)"
	msiexec /i "$dist/$msi" || fails "$msi does not install over the older one"
	[[ $(entries) == "zerofil $v" ]] || fails "after $msi: $(entries), want one entry, zerofil $v"
	echo "one entry, replaced: $(entries)"
	want="C:\\Program Files\\zerofil\\;$(<"$state")"
	[[ $(wine_path) == "$want" ]] || fails "PATH: $(wine_path), want $want"
	echo "one folder added to PATH: $(wine_path)"
	diff -r "$folder" "$unpacked/$line" || fails "the installed files are not the zip's"
	echo "installed: $(cd "$folder" && echo *)"
	# A new process, started as a user starts one, finds it on PATH.
	(cd "$tmp" && wine64 cmd /c zerofil 5 found.bin)
	zeros "$tmp/found.bin" 5
	echo "cmd /c zerofil 5 found.bin: found on PATH, 5 zero bytes"
	if msiexec /i "$tmp/old.msi"; then fails "the older MSI installed over $v"; fi
	[[ $(entries) == "zerofil $v" ]] || fails "after the older one was refused: $(entries)"
	echo "the older one is refused; still: $(entries)"
	;;
uninstall)
	state=$4
	msiexec /x "$dist/$msi" || fails "msiexec /x $msi failed"
	[[ ! -e $folder ]] || fails "left behind: $(ls -A "$folder")"
	[[ -z $(entries) ]] || fails "still in Apps & Features: $(entries)"
	[[ $(wine_path) == "$(<"$state")" ]] || fails "PATH: $(wine_path), want $(<"$state")"
	echo "removed: its files, its entry and its PATH folder; PATH: $(wine_path)"
	;;
*) fails "usage: $0 install|uninstall ..." ;;
esac
