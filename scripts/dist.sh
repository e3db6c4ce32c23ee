#!/usr/bin/env bash
# dist.sh TREES OUT VERSION: pack the release builds that the dist preset
# made in TREES into OUT, and nothing else there: an archive per platform,
# the .deb and SHA256SUMS.
#
# Reproducible: every time stamp is SOURCE_DATE_EPOCH (the last commit's
# when unset), entries are sorted and owned by 0:0, gzip stores no name.
set -euo pipefail
trees=$1 out=$2 version=$3

if [[ -z ${SOURCE_DATE_EPOCH-} ]]; then
	if ! SOURCE_DATE_EPOCH=$(git -C "$(dirname "$0")" log -1 --format=%ct 2>/dev/null); then
		echo "$0: not a git checkout: set SOURCE_DATE_EPOCH" >&2
		exit 1
	fi
fi
export SOURCE_DATE_EPOCH TZ=UTC LC_ALL=C
# Folders the install and cpack create get the same modes for everyone.
umask 022
stage=$trees/stage
rm -rf "$out" "$stage"
mkdir -p "$out" "$stage"

for target in linux-x86_64 linux-aarch64 windows-x86_64; do
	name=zerofil-$version-$target
	cmake --install "$trees/$target" --prefix "$stage/$target" --strip >/dev/null
	# One folder, no bin/ or share/: the program beside its documents.
	mkdir -m 755 "$stage/$name"
	find "$stage/$target" -type f -exec cp -t "$stage/$name" {} +
	find "$stage/$name" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
	if [[ $target == windows-* ]]; then
		# -X: no owner or time fields beyond the DOS time, which TZ fixes.
		(cd "$stage" && find "$name" -type f | sort | zip -X -q "$out/$name.zip" -@)
	else
		tar -C "$stage" --sort=name --owner=0 --group=0 --numeric-owner \
			--mtime="@$SOURCE_DATE_EPOCH" --format=gnu -cf - "$name" | gzip -9n >"$out/$name.tar.gz"
	fi
done

cpack --config "$trees/deb/CPackConfig.cmake" -B "$stage/deb" >/dev/null
cp "$stage"/deb/*.deb "$out/"
(cd "$out" && sha256sum -- * >SHA256SUMS)
ls "$out"
