#!/usr/bin/env bash
# msi.sh FOLDER VERSION OUT: make OUT, the Windows installer of VERSION
# that installs the files of FOLDER (those of the Windows zip), with wixl
# from packaging/windows/zerofil.wxs. It installs per machine into
# Program Files\zerofil, puts that folder first on the system PATH and takes
# it off again when removed. A newer version replaces an older one (one
# UpgradeCode, ever); an older one is refused.
#
# The same FOLDER and VERSION make the same file, with wixl 0.101 (Debian
# 12) as with 0.106 (Debian 13): its clock is SOURCE_DATE_EPOCH, and its
# product and package codes are name-based UUIDs of the UpgradeCode, the
# version and (for the package) the files.
set -euo pipefail
folder=$1 version=$2 out=$3
src=$(cd "$(dirname "$0")/.." && pwd -P)
# shellcheck source-path=SCRIPTDIR/.. source=scripts/lib.sh
. "$src/scripts/lib.sh"
[[ ${SOURCE_DATE_EPOCH-} =~ ^[0-9]+$ ]] || fails "$0: no SOURCE_DATE_EPOCH"
wxs=$src/packaging/windows/zerofil.wxs
upgrade=$(upgrade_code)
[[ -n $upgrade ]] || fails "$0: $wxs: no UpgradeCode of 36 upper-case hex digits and dashes"
# code NAME: the UUID of NAME in the UpgradeCode's name space
code() { python3 -c 'import sys, uuid; print(str(uuid.uuid5(uuid.UUID(sys.argv[1]), sys.argv[2])).upper())' "$upgrade" "$1"; }
files=$(cd "$folder" && sha256sum -- * | sha256sum | cut -c 1-64)
package=$(code "package $version $files")
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
# A frozen clock (-f; without it faketime only starts the clock there):
# wixl and msibuild write the time of day into the file.
clock=$(TZ=UTC date -d "@$SOURCE_DATE_EPOCH" '+%Y-%m-%d %H:%M:%S')
run() { TZ=UTC faketime -f "$clock" "$@"; }
# wixl takes the files' names relative to where it runs.
(cd "$folder" && run wixl -a x64 -D Folder=. -D Version="$version" -D ProductCode="$(code "product $version")" \
	-D PackageCode="$package" -D Publisher="$(about Authors)" \
	-D Summary="zerofil: $(about Summary)" -D Homepage="$(about Homepage)" \
	-o "$stage/zerofil.msi" "$wxs") >"$stage/log" 2>&1 || { cat "$stage/log" >&2; fails "$0: wixl failed"; }
# The PATH entry, which wixl 0.101 cannot write: the Environment table and
# the actions that read it. =-*: set on install, removed on uninstall, in
# the system's environment; [~] after it: before the PATH there was (Wine
# leaves a stray ; where an entry added at the end is removed).
# wixl 0.106 makes the table, empty, itself.
sql=()
msiinfo tables "$stage/zerofil.msi" | grep -qx Environment ||
	sql+=("CREATE TABLE \`Environment\` (\`Environment\` CHAR(72) NOT NULL, \`Name\` CHAR(255) NOT NULL LOCALIZABLE,
	\`Value\` CHAR(255) LOCALIZABLE, \`Component_\` CHAR(72) NOT NULL PRIMARY KEY \`Environment\`)")
sql+=("INSERT INTO \`Environment\` (\`Environment\`, \`Name\`, \`Value\`, \`Component_\`)
	VALUES ('PATH', '=-*PATH', '[INSTALLDIR];[~]', 'Files')"
	"INSERT INTO \`InstallExecuteSequence\` (\`Action\`, \`Sequence\`) VALUES ('RemoveEnvironmentStrings', 3300)"
	"INSERT INTO \`InstallExecuteSequence\` (\`Action\`, \`Sequence\`) VALUES ('WriteEnvironmentStrings', 5200)")
for q in "${sql[@]}"; do
	run msibuild "$stage/zerofil.msi" -q "$q" || fails "$0: msibuild: $q"
done
# wixl 0.101 makes its own package code, at random.
run msibuild "$stage/zerofil.msi" -s zerofil "$(about Authors)" "x64;1033" "{$package}" ||
	fails "$0: msibuild could not set the summary information"
mv "$stage/zerofil.msi" "$out"
