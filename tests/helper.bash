# shellcheck shell=bash
# What the test tables share: run the program under test in an empty folder
# of its own and check what it did, to the byte.
#
# ZEROFIL is the program. ZEROFIL_RUNNER_KIND says what runs it: host (this
# machine, the default), qemu (qemu-user), wine, vm (tests/vm.sh: a Debian
# kernel) or root (tests/root.sh: a Debian root). ZEROFIL_RUNNER is the
# command that does, before the program; vm.sh and root.sh run it with
# this folder and the program's at the same paths.

# Bats 1.2 (Debian 11, where a distribution's build runs the table) lacks
# the call, and makes no folder for each case: setup makes one.
! declare -F bats_require_minimum_version >/dev/null || bats_require_minimum_version 1.5.0
own_tmpdir=

# shellcheck source-path=SCRIPTDIR/.. source=scripts/lib.sh
. "$BATS_TEST_DIRNAME/../scripts/lib.sh"

# The program's own lines, from its source: each message is written once.
usage_line=$(program_line "Usage:")
open_line=$(program_line "Can't open")
write_line=$(program_line "Can't write")
[[ -n $usage_line && -n $open_line && -n $write_line ]] ||
	{ echo "tests/helper.bash: no usage line, or no failure line, found in sw/tools/conv/zerofil.cpp" >&2; return 1; }
# Each case runs in a folder of its own: a relative ZEROFIL names the
# program from the folder bats was started in.
[[ ${ZEROFIL-} == /* ]] || ZEROFIL=$PWD/$ZEROFIL
# The program's zero block: the sizes of the cases are worked out from it.
block=$(block_size)

setup() {
	if [[ -z ${BATS_TEST_TMPDIR-} || -n $own_tmpdir ]]; then
		own_tmpdir=$(mktemp -d "${TMPDIR:-/tmp}/zerofil-case.XXXXXX")
		BATS_TEST_TMPDIR=$own_tmpdir
	fi
	[[ $block =~ ^[0-9]+$ ]] || { echo "no block size found in the program's source"; return 1; }
	read -ra runner <<<"${ZEROFIL_RUNNER-}"
	kind=${ZEROFIL_RUNNER_KIND:-host}
	prog=$ZEROFIL	# run as, and so the name in messages
	wrapper=()	# commands that run it, such as a change of user
	size_limit=	# file-size limit in KiB, for the run only
	mnt=		# a tmpfs this case mounted
	prog_copy=	# a copy of the program an unprivileged user can reach
	time_limit=60	# seconds a run may take
	eol=$'\n'
	# A Windows console writes text lines with CR LF.
	[[ $kind != wine ]] || eol=$'\r\n'
	io=$BATS_TEST_TMPDIR/io
	# The folder the program writes in: a new one below ZEROFIL_CASE_DIR
	# where a line writes onto a file system of its own (tests/fs.sh).
	here=$BATS_TEST_TMPDIR/here
	[[ -z ${ZEROFIL_CASE_DIR-} ]] || here=$(mktemp -d "$ZEROFIL_CASE_DIR/case.XXXXXX")
	mkdir -p "$io" "$here"
	# A runner that drives a machine names the row it was in, should the
	# machine stop: the host's rows hand it their name, rows run on the
	# machine mark each case on their output as it begins.
	export ZEROFIL_ROW=${BATS_TEST_DESCRIPTION-}
	[[ -z ${ZEROFIL_ROW_MARKS-} ]] || echo "zerofil-vm: row $ZEROFIL_ROW" >&3
	cd "$here" || return
}

teardown() {
	cd "$BATS_TEST_TMPDIR" || return
	if [[ -n $mnt ]]; then
		umount "$mnt" || umount -l "$mnt"
	fi
	chmod -R u+w "$BATS_TEST_TMPDIR"
	# That file system is small: leave room for the next case (NFS may
	# keep a file it still calls open for a while).
	[[ -z ${ZEROFIL_CASE_DIR-} ]] || rm -rf "$here" 2>/dev/null || true
	[[ -z $prog_copy ]] || rm -rf "$prog_copy"
	[[ -z $own_tmpdir ]] || rm -rf "$own_tmpdir"
}

# invoke ARGS...: run the program; sets status, leaves its output in $io
invoke() {
	local started=$SECONDS
	run_once "$@"
	# Wine has been seen, once in many runs on a new prefix, to fail to
	# start the program: status 1 at once, with no output. The program
	# never fails without a line of its own, and a run that went on, or
	# that a reader saw open its pipe, did start: only that silent failure
	# is run again.
	if [[ $kind == wine && $status == 1 && ! -s $io/out && ! -s $io/err ]] &&
		((SECONDS - started < 10)) && [[ ! -e $io/opened ]]; then
		echo "# Wine gave status 1 and no output at once; running again" >&3
		run_once "$@"
	fi
	[[ $kind != root ]] || ran_in_root
}

# run_once ARGS...: one run; its process is in $io/pid while it runs
run_once() {
	status=0
	(
		if [[ -n $size_limit ]]; then
			# The program itself must turn the limit into a refused write.
			# Only Wine needs help: Windows has no such signal to ignore.
			[[ $kind != wine ]] || trap '' XFSZ
			ulimit -f "$size_limit"
		fi
		# fd 3 is bats's own: a process left holding it would stall the
		# run. A broken build may never stop writing: limit every run.
		# The root's runner reports on fd 4 where it ran the program.
		[[ $kind != root ]] || exec 4>"$io/where"
		exec timeout -k 10 "$time_limit" "${wrapper[@]}" "${runner[@]}" "$prog" "$@" 3>&-
	) >"$io/out" 2>"$io/err" &
	echo $! >"$io/pid"
	wait $! || status=$?
}

# ran_in_root: the Debian root's runner reported, from inside the root, the
# root's own mark and the very file of the program that the root's own
# compiler built
ran_in_root() {
	local root=${runner[1]} want
	want="$(<"$root/etc/zerofil-root") $(stat -L -c %d:%i "$("${runner[0]}" "$root" built)")"
	[[ $(<"$io/where") == "$want" ]] && return
	printf 'ran as: %q\n  want: %q\n' "$(<"$io/where")" "$want"
	status="not in the root"
}

# stream FILE LINE: the stream holds exactly LINE, or nothing if LINE is empty
stream() {
	local got want=$2 rest
	got=$(cat "$io/$1"; printf x)
	got=${got%x}
	[[ -z $want ]] || want+=$eol
	if [[ $kind == wine && $want == "$prog: "* ]]; then
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

# makes SIZE FILE LENGTH [MORE...]: silent success, FILE is LENGTH zero
# bytes and the only file in the folder
makes() {
	invoke "$1" "$2" "${@:4}"
	check 0 "" "" || return
	zeros "$2" "$3" || return
	[[ $(ls -A) == "$2" ]] || { echo "folder holds: $(ls -A)"; return 1; }
}

# usage ARGS...: the usage line, status 0, nothing created
usage() {
	invoke "$@"
	check 0 "$usage_line" "" || return
	[[ -z $(ls -A) ]] || { echo "created: $(ls -A)"; return 1; }
}

# open_refused FILE: the open-failure line and status 1
open_refused() {
	invoke 10 "$1"
	# shellcheck disable=SC2059 # the program's own format
	check 1 "" "$(printf "$open_line" "$prog" "$1")"
}

# write_refused SIZE FILE [KEPT]: the write-failure line and status 1; the
# partial file keeps KEPT zero bytes
write_refused() {
	invoke "$1" "$2"
	# shellcheck disable=SC2059 # the program's own format
	check 1 "" "$(printf "$write_line" "$prog" "$2")" || return
	[[ -z ${3-} ]] || zeros "$2" "$3"
}

# piped SIZE: into a FIFO, the reader gets exactly SIZE zero bytes; needs no disk
piped() {
	command -v perl >/dev/null || missing perl
	mkfifo p
	# The reader marks that a writer opened the pipe; once it has read
	# enough, or found a wrong byte, it kills a writer that goes on (Wine
	# blocks a write whose reader has gone, and ignores SIGTERM), so that a
	# wrong program fails at once. The run's timeout leads its own process
	# group. Perl reads a MiB at a time: cmp, which reads 4 KiB at a time,
	# took three times as long.
	(
		found=0
		# shellcheck disable=SC2016 # expanded by perl and the inner shell
		timeout 300 bash -c 'exec 5<p && : >"$1" && exec perl -e '\''
			my ($want, $n, $got, $b) = ($ARGV[0], 0, 0);
			while ($got <= $want && ($n = sysread(STDIN, $b, 1 << 20))) {
				die "a byte not zero among bytes $got to " . ($got + $n) . "\n" if $b =~ tr/\0//c;
				$got += $n;
			}
			die "read: $!\n" unless defined $n;
			die "$got bytes" . ($got > $want ? " or more" : "") . ", want $want\n" if $got != $want;
		'\'' "$2" <&5' reader "$io/opened" "$1" >"$io/cmp" 2>&1 || found=$?
		for _ in {1..50}; do
			kill -0 "$(<"$io/pid")" 2>/dev/null || exit $found
			sleep 0.1
		done
		kill -KILL -- "-$(<"$io/pid")" 2>/dev/null
		exit $found
	) 3>&- &
	reader=$!
	time_limit=300
	invoke "$1" p
	# A program that never opened the pipe leaves the reader waiting for a
	# writer: be that writer, so that such a program fails at once.
	[[ -e $io/opened ]] || : >p
	check 0 "" "" || { wait "$reader" || true; cat "$io/cmp"; return 1; }
	wait "$reader" || { cat "$io/cmp"; return 1; }
}

# missing PROGRAM: skip for want of PROGRAM; where the package names it as
# a dependency of its tests (ZEROFIL_NEEDS_ALL: a distribution's build,
# autopkgtest), it is a failure
missing() {
	[[ -z ${ZEROFIL_NEEDS_ALL-} ]] || { echo "$1 is missing, and the package's tests depend on it"; return 1; }
	skip "$1 is missing"
}

# traced OPTION...: the next run is under strace with OPTIONS (which calls
# to trace, which to fail), its calls on ./f written to $io/trace
traced() {
	[[ $kind == host ]] || skip "strace runs only this machine's programs"
	command -v strace >/dev/null || missing strace
	# LeakSanitizer (the asan build) cannot work under ptrace.
	wrapper=(env ASAN_OPTIONS=detect_leaks=0 strace -f -qq -o "$io/trace" -P "$PWD/f" "$@")
}

# refused_close SIZE: every write taken, the close of ./f fails with EIO (as
# on NFS): the write-failure line and status 1, and every byte in the file
refused_close() {
	traced -e trace=close -e inject=close:error=EIO
	write_refused "$1" f "$1"
}

# writes_at_most N: the traced run wrote to the file in N calls or fewer
writes_at_most() {
	local n
	n=$(grep -c 'write(' "$io/trace")
	((n <= $1)) || { echo "$n write calls, want $1 at most"; return 1; }
}

# new_mode UMASK MODE: a new file made under UMASK has MODE (octal)
new_mode() {
	# Windows has no such modes; a machine's guest runs with its own umask.
	[[ $kind != @(wine|vm) ]] || skip "no umask of the tests' own on $kind"
	rm -f f
	wrapper=(sh -c "umask $1 && exec \"\$@\"" sh)
	makes 3 f 3 || return
	[[ $(stat -c %a f) == "$2" ]] || { echo "mode $(stat -c %a f) under umask $1, want $2"; return 1; }
}

# limited BYTES SIZE: under a file-size limit of BYTES (whole KiB), a write
# is refused, and the partial file keeps exactly BYTES zero bytes
limited() {
	size_limit=$(($1 / 1024))
	write_refused "$2" f "$1"
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
	as_nobody
}

# as_nobody: the program runs as the unprivileged user nobody (the tests run
# as root)
as_nobody() {
	[[ $kind != wine ]] || skip "Wine will not run a prefix owned by another user"
	[[ $kind != vm && $kind != root ]] || skip "${runner[0]##*/} runs it as root"
	command -v setpriv >/dev/null || missing setpriv
	wrapper=(setpriv --reuid=65534 --regid=65534 --clear-groups --)
	if ! "${wrapper[@]}" test -x "$prog"; then
		# The build tree may sit below a private folder: run a copy.
		prog_copy=$(mktemp -d /tmp/zerofil-prog.XXXXXX)
		chmod 755 "$prog_copy"
		cp "$prog" "$prog_copy/"
		prog=$prog_copy/${prog##*/}
	fi
	"${wrapper[@]}" test -x "$prog" || skip "an unprivileged user cannot reach $prog"
}
