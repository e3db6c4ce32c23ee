#!/usr/bin/env bash
# Install the Debian packages zerofil needs, and only those that are absent.
#   scripts/deps.sh build   the compiler and CMake
#   scripts/deps.sh dist    also the compiler of each toolchain file in
#                           cmake/ and the packaging tools that make every
#                           release file
#   scripts/deps.sh test    also bats, the linters, Clang, the 32-bit x86
#                           C library, qemu, Wine, strace, and what makes
#                           Debian roots and boots Debian's kernels, for
#                           the whole suite
#   scripts/deps.sh bench   also the dist group, GNU time, bc, valgrind and
#                           gnuplot, for bench/run.sh
# Nothing installed is ever removed: apt-get refuses instead (--no-remove).
# g++-multilib is not used: it conflicts with every cross compiler.
set -euo pipefail
cd "$(dirname "$0")/.."

build=(cmake make g++)
# Each toolchain file names its compiler's package.
mapfile -t compilers < <(sed -n 's/^# Debian package: //p' cmake/*.cmake | sort -u)
# musl for the static programs, and what writes their notices.
dist=("${compilers[@]}" zip git mmdebstrap dpkg-dev python3 rpm gnupg osslsigncode)
test=(bats man-db unzip shellcheck clang-tidy cppcheck mandoc clang ninja-build libc6-i386
	qemu-user wine wine64 lintian rpmlint strace qemu-system-arm qemu-system-x86 cpio openssl
	ntfs-3g exfat-fuse exfatprogs)
bench=(time bc valgrind gnuplot-nox)

case ${1-} in
build) want=("${build[@]}") ;;
dist) want=("${build[@]}" "${dist[@]}") ;;
test) want=("${build[@]}" "${dist[@]}" "${test[@]}") ;;
bench) want=("${build[@]}" "${dist[@]}" "${bench[@]}") ;;
*)
	echo "usage: $0 build|dist|test|bench" >&2
	exit 2
	;;
esac

missing=()
for p in "${want[@]}"; do
	if [[ $(dpkg-query -W -f='${Status}' "$p" 2>/dev/null) != "install ok installed" ]]; then
		missing+=("$p")
	fi
done
((${#missing[@]})) || exit 0

echo "installing: ${missing[*]}"
sudo=()
if ((EUID != 0)); then
	command -v sudo >/dev/null || { echo "$0: run as root to install: ${missing[*]}" >&2; exit 1; }
	sudo=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -q
"${sudo[@]}" apt-get install -y -q --no-remove "${missing[@]}"
