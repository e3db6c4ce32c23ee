#!/usr/bin/env bash
# dist.sh OUT VERSION NAME:SHIPS:TREE...: pack the release builds into OUT:
# for each TREE (a build of the table line NAME), what SHIPS lists (tar,
# deb, zip), then the source tarball and SHA256SUMS.
#
# OUT holds release files only: files this script did not make are never
# removed, and a folder that holds any is refused.
#
# Reproducible: every time stamp is SOURCE_DATE_EPOCH, or else the last
# commit's time, or else the time stamp the source tarball carries; entries
# are sorted and owned by 0:0, gzip stores no name.
set -euo pipefail
out=$1 version=$2
shift 2
src=$(cd "$(dirname "$0")/.." && pwd -P)

# Only this tree's own repository: a tarball unpacked inside another one
# must not take that one's time.
git=()
if [[ $(git -C "$src" rev-parse --show-toplevel 2>/dev/null) == "$src" ]]; then
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
	echo "$0: no time stamp: not a git checkout nor a source tarball; set SOURCE_DATE_EPOCH" >&2
	exit 1
fi
export SOURCE_DATE_EPOCH TZ=UTC LC_ALL=C
# Folders the install and cpack create get the same modes for everyone.
umask 022

mkdir -p "$out"
mine='^(zerofil-.*\.(tar\.gz|zip)|zerofil_.*\.deb|SHA256SUMS)$'
for f in "$out"/* "$out"/.[!.]*; do
	[[ -e $f ]] || continue
	if [[ ! -f $f || ! ${f##*/} =~ $mine ]]; then
		echo "$0: $out holds ${f##*/}, which is not a release file: choose an empty folder" >&2
		exit 1
	fi
done
rm -f "$out"/zerofil-*.tar.gz "$out"/zerofil-*.zip "$out"/zerofil_*.deb "$out/SHA256SUMS"
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT

for line in "$@"; do
	IFS=: read -r target ships tree <<<"$line"
	name=zerofil-$version-$target
	cmake --install "$tree" --prefix "$stage/$target" --strip >/dev/null
	# One folder, no bin/ or share/: the program beside its documents.
	mkdir -m 755 "$stage/$name"
	if [[ $ships == *zip* ]]; then
		find "$stage/$target" -type f -exec cp -t "$stage/$name" {} +
	else
		cp "$stage/$target"/bin/zerofil "$tree/zerofil.1" "$tree/README.md" "$src/LICENSE" "$stage/$name/"
	fi
	find "$stage/$name" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
	if [[ $ships == *zip* ]]; then
		# -X: no owner or time fields beyond the DOS time, which TZ fixes.
		(cd "$stage" && find "$name" -type f | sort | zip -X -q "$out/$name.zip" -@)
	fi
	if [[ $ships == *tar* ]]; then
		tar -C "$stage" --sort=name --owner=0 --group=0 --numeric-owner \
			--mtime="@$SOURCE_DATE_EPOCH" --format=gnu -cf - "$name" | gzip -9n >"$out/$name.tar.gz"
	fi
	if [[ $ships == *deb* ]]; then
		cpack --config "$tree/CPackConfig.cmake" -B "$stage/deb-$target" >/dev/null
		cp "$stage/deb-$target"/*.deb "$out/"
	fi
done

# The source, as committed: one top folder, and packaging/source-date
# filled in with the commit's time (export-subst).
if ((${#git[@]})); then
	if [[ -n $("${git[@]}" status --porcelain --untracked-files=no) ]]; then
		echo "$0: warning: uncommitted changes are in the programs but not in zerofil-$version.tar.gz" >&2
	fi
	"${git[@]}" archive --format=tar --prefix="zerofil-$version/" HEAD | gzip -9n >"$out/zerofil-$version.tar.gz"
else
	echo "$0: not a git checkout: no source tarball" >&2
fi
(cd "$out" && sha256sum -- * >SHA256SUMS)
ls "$out"
