#!/usr/bin/env bash
# Install the Debian packages zerofil needs, and only those that are absent,
# from the one list of them, scripts/packages.tsv.
#   scripts/deps.sh build   the compiler and CMake
#   scripts/deps.sh dist    also the cross compilers and the tools that make
#                           every release file
#   scripts/deps.sh test    also what runs and checks every build, for the
#                           whole suite
#   scripts/deps.sh bench   also the dist group, and what bench/run.sh needs
#   scripts/deps.sh check GROUP
#                           each program of GROUP (as above) is found, and
#                           dpkg says it comes from the package the list
#                           names, or from one that package depends on
# Nothing installed is ever removed: apt-get refuses instead (--no-remove).
# g++-multilib is not used: it conflicts with every cross compiler.
set -euo pipefail
cd "$(dirname "$0")/.."
list=scripts/packages.tsv

# rows GROUP...: "program package" of each row of those groups; a row that
# is not three fields, or of no known group, stops it, naming the line
rows() {
	awk -F '\t' -v groups=" $* " '
	/^(#|$)/ { next }
	NF != 3 || $3 !~ /^(build|dist|test|bench)$/ || $2 !~ /^[a-z0-9][a-z0-9+.-]+$/ {
		printf "%s:%d: not \"program<TAB>package<TAB>build|dist|test|bench\": %s\n", FILENAME, NR, $0 >"/dev/stderr"
		exit 1
	}
	index(groups, " " $3 " ") { print $1 "\t" $2 }' "$list"
}

check=0
[[ ${1-} != check ]] || { check=1; shift; }
case ${1-} in
build) groups=(build) ;;
dist) groups=(build dist) ;;
test) groups=(build dist test) ;;
bench) groups=(build dist bench) ;;
*)
	echo "usage: $0 [check] build|dist|test|bench" >&2
	exit 2
	;;
esac

table=$(rows "${groups[@]}") || exit 1
if ((check)); then
	# Debian's own folders: a program elsewhere (a pyenv python3, say) is
	# no package's.
	PATH=/usr/sbin:/usr/bin:/sbin:/bin:/usr/lib/wine
	bad=0 n=0
	declare -A path=() owners=() brings=()
	candidates=()
	while IFS=$'\t' read -r program package; do
		p=$program
		[[ $p == /* ]] || p=$(type -P "$program") || p=""
		[[ -z $p || -e $p ]] || p=""
		path[$program]=$p
		# dpkg knows a file by the path its package gives; with /usr merged,
		# /bin/cpio is /usr/bin/cpio, and an alternative is a symbolic link.
		[[ -z $p ]] || candidates+=("$p" "${p#/usr}" "/usr$p" "$(readlink -f "$p")")
	done <<<"$table"
	# One question to dpkg for every file, and one for every package: a
	# question each takes half a minute.
	while IFS=$'\t' read -r file who; do
		owners[$file]=$who
	done < <(dpkg-query -S "${candidates[@]}" 2>/dev/null |
		awk '!/^diversion / { i = index($0, ": "); o = substr($0, 1, i - 1); gsub(/:[a-z0-9]+/, "", o); gsub(/,/, " ", o); print substr($0, i + 2) "\t" o }')
	mapfile -t packages < <(cut -f 2 <<<"$table" | sort -u)
	# shellcheck disable=SC2016 # dpkg's own fields
	while IFS=$'\t' read -r package deps; do
		brings[$package]=$(sed 's/([^)]*)//g; s/[,|]/ /g' <<<"$deps")
	done < <(dpkg-query -W -f='${Package}\t${Pre-Depends},${Depends}\n' "${packages[@]}" 2>/dev/null)
	while IFS=$'\t' read -r program package; do
		n=$((n + 1))
		p=${path[$program]}
		[[ -n $p ]] || { echo "$program: not found; apt-get install $package"; bad=1; continue; }
		who=""
		for f in "$p" "${p#/usr}" "/usr$p" "$(readlink -f "$p")"; do
			who=${owners[$f]-} && [[ -n $who ]] && break
		done
		found=0
		for o in $who; do [[ " $package ${brings[$package]-} " != *" $o "* ]] || found=1; done
		if ((!found)); then
			echo "$program ($p): from ${who:-no package}, and $list says $package"
			bad=1
		fi
	done <<<"$table"
	((bad == 0)) || exit 1
	echo "each of the $n programs of $list (${groups[*]}) comes from the package it names"
	exit
fi

mapfile -t want < <(cut -f 2 <<<"$table" | sort -u)
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
