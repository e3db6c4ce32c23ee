# shellcheck shell=bash
# What the test tables share: run the program under test in an empty folder
# of its own and check what it did, to the byte.
#
# ZEROFIL is the program. ZEROFIL_RUNNER, when set, is the command that runs
# it: Wine (then ZEROFIL_WINDOWS is set), qemu-user (then ZEROFIL_EMULATED
# is set), or vm.sh or root.sh, which run it under a real kernel or in a
# Debian root, with this folder and the program's at the same paths.

bats_require_minimum_version 1.5.0

usage_line='Usage: zerofil <size bytes> <file>'

setup() {
	read -ra runner <<<"${ZEROFIL_RUNNER-}"
	prog=$ZEROFIL	# run as, and so the name in messages
	pre=()		# commands that run it, such as a change of user
	limit=		# file-size limit in KiB, for the run only
	mnt=		# a tmpfs this case mounted
	reach=		# a copy of the program an unprivileged user can reach
	cap=60		# seconds a run may take
	eol=$'\n'
	windows=${ZEROFIL_WINDOWS-}
	# A Windows console writes text lines with CR LF.
	[[ -z $windows ]] || eol=$'\r\n'
	elsewhere=	# the runner runs it in another root or machine
	[[ $ZEROFIL_RUNNER != */vm.sh* && $ZEROFIL_RUNNER != */root.sh* ]] || elsewhere=${ZEROFIL_RUNNER%% *}
	io=$BATS_TEST_TMPDIR/io
	mkdir "$io" "$BATS_TEST_TMPDIR/here"
	cd "$BATS_TEST_TMPDIR/here" || return
}

teardown() {
	cd "$BATS_TEST_TMPDIR" || return
	if [[ -n $mnt ]]; then
		umount "$mnt" || umount -l "$mnt"
	fi
	chmod -R u+w "$BATS_TEST_TMPDIR"
	[[ -z $reach ]] || rm -rf "$reach"
}

# zf ARGS...: run the program; sets status, leaves its output in $io
zf() {
	run_once "$@"
	# The program never fails without a line of its own, so a failure with
	# no output at all is Wine failing to start it, seen once in many runs
	# on a new prefix: try that once more.
	if [[ -n $windows && $status != 0 && ! -s $io/out && ! -s $io/err ]]; then
		echo "# Wine gave status $status and no output; running again" >&3
		run_once "$@"
	fi
}

run_once() {
	status=0
	(
		if [[ -n $limit ]]; then
			# The program itself must turn the limit into a refused write.
			# Only Wine needs help: Windows has no such signal to ignore.
			[[ -z $windows ]] || trap '' XFSZ
			ulimit -f "$limit"
		fi
		# fd 3 is bats's own: a process left holding it would stall the
		# run. A broken build may never stop writing: cap every run.
		exec timeout -k 10 "$cap" "${pre[@]}" "${runner[@]}" "$prog" "$@" 3>&-
	) >"$io/out" 2>"$io/err" || status=$?
}

# stream FILE LINE: the stream holds exactly LINE, or nothing if LINE is empty
stream() {
	local got want=$2 rest
	got=$(cat "$io/$1"; printf x)
	got=${got%x}
	[[ -z $want ]] || want+=$eol
	if [[ -n $windows && $want == "$prog: "* ]]; then
		# Wine hands the program its Windows path as the invocation name.
		rest=${want#"$prog"}
		want=$(winepath -w "$(realpath "$prog")")$rest
	fi
	[[ $got == "$want" ]] && return
	printf 'std%s: %q\n  want: %q\n' "$1" "$got" "$want"
	return 1
}

# check STATUS OUT ERR: the exit status and both streams
check() {
	[[ $status == "$1" ]] || { echo "status $status, want $1"; cat "$io/err"; return 1; }
	stream out "$2" && stream err "$3"
}

# zeros FILE LENGTH: FILE holds exactly LENGTH bytes and every one is zero
zeros() {
	local n
	n=$(wc -c <"$1") || return
	[[ $n == "$2" ]] || { echo "$1: $n bytes, want $2"; return 1; }
	cmp -s -n "$2" - /dev/zero <"$1" || { echo "$1: a byte is not zero"; return 1; }
}

# makes SIZE FILE LENGTH [MORE...]: silent success, FILE is LENGTH zero
# bytes and the only file in the folder
makes() {
	zf "$1" "$2" "${@:4}"
	check 0 "" "" || return
	zeros "$2" "$3" || return
	[[ $(ls -A) == "$2" ]] || { echo "folder holds: $(ls -A)"; return 1; }
}

# usage ARGS...: the usage line, status 0, nothing created
usage() {
	zf "$@"
	check 0 "$usage_line" "" || return
	[[ -z $(ls -A) ]] || { echo "created: $(ls -A)"; return 1; }
}

# refuses FILE: the open-failure line and status 1
refuses() {
	zf 10 "$1"
	check 1 "" "$prog: Can't open file $1 for writing"
}

# short SIZE FILE [KEPT]: the write-failure line and status 1; the partial
# file keeps KEPT zero bytes
short() {
	zf "$1" "$2"
	check 1 "" "$prog: Can't write all bytes to file $2" || return
	[[ -z ${3-} ]] || zeros "$2" "$3"
}

# piped SIZE: into a FIFO, the reader gets exactly SIZE zero bytes; needs no disk
piped() {
	mkfifo p
	timeout 300 cmp -n "$1" p /dev/zero >"$io/cmp" 2>&1 &
	cap=300
	zf "$1" p
	check 0 "" "" || return
	wait $! || { cat "$io/cmp"; return 1; }
}

# refused_close SIZE FILE: every write taken, the close fails with EIO (as
# on NFS): the write-failure line and status 1
refused_close() {
	[[ -z $ZEROFIL_RUNNER ]] || skip "strace runs only this machine's programs"
	command -v strace >/dev/null || skip "strace is missing"
	# LeakSanitizer (the asan build) cannot work under ptrace.
	pre=(env ASAN_OPTIONS=detect_leaks=0 strace -f -qq -o /dev/null -P "$PWD/$2" -e trace=close -e inject=close:error=EIO)
	short "$1" "$2"
}

# limited KIB SIZE KEPT: under a file-size limit of KIB KiB a write is refused
limited() {
	limit=$1
	short "$2" f "$3"
}

# small_fs OPTIONS: mount a tmpfs at ./mnt for this case, or skip
small_fs() {
	mkdir mnt
	if ! mount -t tmpfs -o "$1" zerofil-test mnt 2>"$io/mount"; then
		skip "cannot mount a tmpfs here: $(cat "$io/mount")"
	fi
	mnt=$PWD/mnt
}

# locked: the folder and what is in it become unwritable for the program,
# which runs as an unprivileged user when the tests run as root
locked() {
	chmod -R a-w .
	[[ $EUID -eq 0 ]] || return 0
	[[ -z $windows ]] || skip "Wine will not run a prefix owned by another user"
	[[ -z $elsewhere ]] || skip "${elsewhere##*/} runs it as root"
	command -v setpriv >/dev/null || skip "setpriv is missing"
	pre=(setpriv --reuid=65534 --regid=65534 --clear-groups --)
	if ! "${pre[@]}" test -x "$prog"; then
		# The build tree may sit below a private folder: run a copy.
		reach=$(mktemp -d /tmp/zerofil-prog.XXXXXX)
		chmod 755 "$reach"
		cp "$prog" "$reach/"
		prog=$reach/${prog##*/}
	fi
	"${pre[@]}" test -x "$prog" || skip "an unprivileged user cannot reach $prog"
}
