#!/usr/bin/env bash
# Install the Debian packages zerofil needs, and only those that are absent.
#   scripts/deps.sh build   the compiler and CMake
#   scripts/deps.sh test    also bats, the linters, the 32-bit and Windows
#                           toolchains and Wine, for the whole test suite
#   scripts/deps.sh bench   also hyperfine and GNU time, for bench/run.sh
set -euo pipefail

build=(cmake make g++)
test=(bats man-db unzip shellcheck clang-tidy cppcheck g++-multilib g++-mingw-w64-x86-64-posix wine wine64)
bench=(hyperfine time bc)

case ${1-} in
build) want=("${build[@]}") ;;
test) want=("${build[@]}" "${test[@]}") ;;
bench) want=("${build[@]}" "${bench[@]}") ;;
*)
	echo "usage: $0 build|test|bench" >&2
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
"${sudo[@]}" apt-get install -y -q "${missing[@]}"
