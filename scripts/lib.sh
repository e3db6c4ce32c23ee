# shellcheck shell=bash
# What the scripts of scripts/ and tests/ share; sourced, it sets no options.

# fails MESSAGE...: say why, and exit 1
fails() {
	echo "$*" >&2
	exit 1
}

# own_checkout DIR: DIR is the top folder of a git checkout of its own, not
# a folder inside another repository (as an unpacked source tarball may be)
own_checkout() {
	local top
	top=$(git -C "$1" rev-parse --show-toplevel 2>/dev/null) && [[ $top == "$(cd "$1" && pwd -P)" ]]
}

# clean_checkout DIR: own_checkout, and no tracked file differs from the
# last commit
clean_checkout() {
	own_checkout "$1" && [[ -z $(git -C "$1" status --porcelain --untracked-files=no) ]]
}

# quietly COMMAND...: run COMMAND, showing its output only when it fails
# (the last lines, where mmdebstrap and apt give their reason)
quietly() {
	local log status=0
	log=$(mktemp)
	"$@" >"$log" 2>&1 || status=$?
	((status == 0)) || tail -n 25 "$log" >&2
	rm -f "$log"
	return "$status"
}

# made DIR COMMAND...: run COMMAND... DIR once, to make DIR, and mark it
# made with DIR.made; later calls keep it. A failed download is tried once
# more: COMMAND returns its failure, which exits nothing (set -e does not
# hold inside it here).
made() {
	local dir=$1
	shift
	[[ ! -f $dir.made ]] || return 0
	rm -rf "$dir"
	mkdir -p "${dir%/*}"
	if ! "$@" "$dir"; then
		echo "$1 failed; once more" >&2
		rm -rf "$dir"
		"$@" "$dir"
	fi
	touch "$dir.made"
}

# debian_tree SUITE DIR OPTION...: mmdebstrap SUITE into DIR, quietly,
# from the Debian archive that this machine's apt uses, and from it alone
# (mmdebstrap's own default where apt names none): for the tests' roots and
# kernels, which need no updates. An update or security index out of step
# with its Release file ("Mirror sync in progress?"), as bookworm-security's
# armhf index has been, would otherwise fail the whole run.
debian_tree() {
	local suite=$1 dir=$2 archive
	shift 2
	# shellcheck disable=SC2016 # apt's own fields
	archive=$(apt-get indextargets --format '$(REPO_URI) $(RELEASE)' 'Identifier: Packages' 'Label: Debian' \
		2>/dev/null | awk '$2 !~ /-/ { print $1; exit }')
	quietly mmdebstrap "$@" "$suite" "$dir" ${archive:+"$archive"}
}

# zeros FILE LENGTH: FILE holds exactly LENGTH bytes and every one is zero
zeros() {
	local n f=$1
	# Not wc -c: Debian 12's armel wc, under qemu, counts 4 GiB and a byte
	# as 1. stat takes a lone - for its standard input.
	[[ $f == /* ]] || f=./$f
	n=$(stat -L -c %s -- "$f") || return
	[[ $n == "$2" ]] || { echo "$1: $n bytes, want $2"; return 1; }
	cmp -s -n "$2" - /dev/zero <"$1" || { echo "$1: a byte is not zero"; return 1; }
}

# page_renders VERSION COMMAND...: COMMAND renders the manual page, on 80
# columns, without a warning, and the page shows VERSION
page_renders() {
	local v=$1 page warnings
	shift
	warnings=$(mktemp)
	page=$(MANWIDTH=80 "$@" 2>"$warnings") || { cat "$warnings"; rm -f "$warnings"; return 1; }
	if [[ -s $warnings ]]; then
		cat "$warnings"
		rm -f "$warnings"
		return 1
	fi
	rm -f "$warnings"
	[[ $page == *"zerofil $v"* ]] || { echo "the page does not show version $v"; return 1; }
}

# about FIELD: the field of packaging/about, the lines of a description
# without their leading space
about() {
	local here
	here=$(dirname "${BASH_SOURCE[0]}")
	awk -v f="$1" '/^[^ ]/ { on = 0 } on { print substr($0, 2) } index($0, f ":") == 1 {
		on = 1; v = substr($0, length(f) + 2); sub(/^ +/, "", v); if (v != "") print v }' "$here/../packaging/about"
}

# fill_in TEMPLATE OUT: OUT is TEMPLATE with each @Field@ replaced by the
# value of the environment variable fill_Field, its lines and all; a field
# that no variable fills fails, naming it
fill_in() {
	python3 - "$1" "$2" <<-'EOF'
		import os, re, sys
		text = open(sys.argv[1], encoding="utf-8").read()
		def value(m):
		    key = "fill_" + m.group(1)
		    if key not in os.environ:
		        sys.exit(f"{sys.argv[1]}: nothing fills @{m.group(1)}@")
		    return os.environ[key]
		open(sys.argv[2], "w", encoding="utf-8").write(re.sub(r"@([A-Za-z]+)@", value, text))
	EOF
}

# block_size: the size of the program's zero block, read from its source
block_size() {
	local here
	here=$(dirname "${BASH_SOURCE[0]}")
	sed -n 's/^[[:space:]]*char buf\[\([0-9]*\)\];.*/\1/p' "$here/../sw/tools/conv/zerofil.cpp"
}

# program_line WORDS: the format of the program's own line that holds
# WORDS ("Usage:", "Can't open"), as its one printf in the source has it
program_line() {
	local here
	here=$(dirname "${BASH_SOURCE[0]}")
	grep -o 'printf([^"]*"[^"]*\\n"' "$here/../sw/tools/conv/zerofil.cpp" | sed 's/^[^"]*"//; s/\\n"$//' | grep -F -- "$1"
}

# upgrade_code: the MSI's UpgradeCode, written once in the WiX source
upgrade_code() {
	local here
	here=$(dirname "${BASH_SOURCE[0]}")
	sed -n 's/.*UpgradeCode="\([0-9A-F-]\{36\}\)".*/\1/p' "$here/../packaging/windows/zerofil.wxs"
}

# release_files LIST FIELDS [FORMAT...]: the release files of LIST
# (release-files.tsv, written by cmake/dist.cmake) of each FORMAT, or of
# every format, as lines of the columns that FIELDS names ("file arch", say),
# in that order, tab-separated
release_files() {
	local list=$1 fields=$2
	shift 2
	awk -F '\t' -v OFS='\t' -v fields="$fields" -v formats=" $* " '
	NR == 1 {
		for (i = 1; i <= NF; i++) col[$i] = i
		n = split(fields, want, " ")
		for (i = 1; i <= n; i++) if (!(want[i] in col)) { print FILENAME ": no column " want[i] >"/dev/stderr"; exit 1 }
		next
	}
	formats == "  " || index(formats, " " $col["format"] " ") {
		row = $col[want[1]]
		for (i = 2; i <= n; i++) row = row OFS $col[want[i]]
		print row
	}' "$list"
}
