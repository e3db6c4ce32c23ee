#!/usr/bin/env bash
# vm.sh machines: the names of the machines below that share folders.
# vm.sh boards: the names of those that do not (a board, reached by its
# console).
# vm.sh qemu: for each machine, "NAME SUITE QEMU": its Debian suite and the
# qemu-system program that emulates it.
# vm.sh DIR make: unpack Debian's kernel and busybox for the machine that
# DIR names (one of the list below) into DIR, and make a small initramfs.
# vm.sh DIR start FOLDER...: boot that machine under qemu-system, in the
# background, with each FOLDER shared with it (9p) at the same path; it
# then runs the commands it is given, one at a time, until it is stopped
# (or an hour without one). qemu dying before the machine is up is tried
# once more, and said.
# vm.sh DIR stop: power the machine off.
# vm.sh DIR PROG ARGS...: run PROG with ARGS on the machine, in this
# folder, which must be in a FOLDER it shares, as PROG must. Prints what
# PROG printed and exits with its status; 125 if the machine is not up.
# vm.sh DIR stalls: the check of the watch on a guest: a guest that does
# nothing mid-row (a machine's qemu stopped on purpose, a board whose
# command sleeps) is reported within ZEROFIL_GUEST_STALL seconds, with its
# row; and a board's clock stands still while its qemu is stopped. A
# guest with no output and no CPU time gained for that long (90 s unless
# told) has stopped: its runner says so, naming the row, and ends.
# vm.sh DIR run PATH... -- COMMAND...: boot the board that DIR names with
# each PATH (a file or a folder) at the same path, run COMMAND there, in
# this folder, and power it off: prints what COMMAND printed (its output
# and its errors together, as its console shows them) and exits with its
# status; 125 if the board never said how COMMAND ended (it never booted,
# or it stopped). ZEROFIL_BOARD_PID names a file for its qemu's pid.
set -euo pipefail
# mkfs.ext4 is where root finds it.
PATH=$PATH:/usr/sbin:/sbin
# shellcheck source-path=SCRIPTDIR/.. source=scripts/lib.sh
. "$(dirname "$0")/../scripts/lib.sh"
# The machines, by Debian's name for their architecture: Debian's suite
# and kernel package, the kernel's console, how this machine reaches it,
# and how qemu emulates it (@FILE: that device tree of the kernel's).
# 9p: it shares folders through virtio, and runs the commands it is given
# while it is up. console: a board without virtio, such as the Raspberry
# Pi Zero's (raspi0, an ARM1176): it boots for each command, with the
# files the command needs in its initramfs and its own userland beside
# them, and says on its console what the command printed. A machine's
# suite is where its kernel comes from, not a root the rows run in, so it
# is named here and not read from the table's root lines: moving it
# changes the kernel its rows were proven on, which is a change of its
# own. The
# disks machine boots Debian 13's amd64 kernel, which has every file
# system's driver (ntfs3 among them), from a Debian 13 root with the tools
# that make and serve them, and a disk for each file system of tests/fs.sh.
# qemu64 writes faster under emulation than max. The Pi Zero's clock
# counts instructions (-icount): its only timer fires when the low 32 bits
# of its counter reach a compare value that Linux sets to the counter plus
# a few microseconds, and qemu's counter otherwise follows the host's
# clock, so a host that takes the CPU from qemu between the two puts the
# compare behind the counter, and the board sleeps for 71 minutes (2^32
# us). Counted in instructions, no time passes while qemu does not run: a
# nanosecond an instruction, as the Pi Zero's 1 GHz, costs a tenth more
# time than the host's clock; an adaptive rate (shift=auto) makes the
# guest's ticks come ever more often on a busy host, and took three times
# as long.
machines="armhf bookworm linux-image-armmp-lpae ttyAMA0 9p qemu-system-arm -M virt -cpu cortex-a15
arm64 bookworm linux-image-arm64 ttyAMA0 9p qemu-system-aarch64 -M virt -cpu cortex-a57
amd64 bookworm linux-image-amd64 ttyS0 9p qemu-system-x86_64 -M pc -cpu qemu64
disks trixie linux-image-amd64 ttyS0 9p qemu-system-x86_64 -M pc -cpu qemu64
armel bookworm linux-image-rpi ttyAMA0 console qemu-system-arm -M raspi0 -dtb @bcm2835-rpi-zero.dtb -icount shift=0"
n=0
while read -r name _ _ _ reached _; do
	n=$((n + 1))
	[[ $reached == @(9p|console) ]] ||
		fails "$0: machine $name (line $n of its machines): reached by \"$reached\", not 9p or console"
done <<<"$machines"
case $1 in
machines | boards)
	reached=9p
	[[ $1 == machines ]] || reached=console
	awk -v r=$reached '$5 == r { print $1 }' <<<"$machines" | paste -sd ' '
	exit
	;;
qemu)
	awk '{ print $1, $2, $6 }' <<<"$machines"
	exit
	;;
esac
dir=$1
shift
arch=${dir##*/}
read -r _ suite kernel console reach qemu < <(awk -v m="$arch" '$1 == m' <<<"$machines") ||
	{ echo "$0: no machine named $arch" >&2; exit 2; }
read -ra qemu <<<"$qemu"
# A board's userland, in which its commands run: what bats and the rows
# use, and mkfs.ext4 for the disk its cases write on.
userland=bash,bats,coreutils,diffutils,findutils,grep,sed,mawk,mount,util-linux,e2fsprogs
# Debian's Raspberry Pi kernel waits forever for the power controller of
# the BCM2835, which qemu does not emulate.
board_append="initcall_blacklist=bcm2835_pm_driver_init"
# The command, each word in single quotes.
q() { printf "'%s' " "${1//\'/\'\\\'\'}"; }
# What the disks machine's root holds: bats and what tests/fs.sh runs.
system=bats,kmod,e2fsprogs,iproute2,strace,util-linux,procps,quota,nfs-kernel-server,xfsprogs,btrfs-progs,dosfstools,exfatprogs,f2fs-tools,ntfs-3g

# make_root: the machine's kernel, and a board's userland, unpacked into
# DIR/root; sets usr (where its /usr is), mods and order (the module files
# to load, each after those it depends on)
make_root() {
	include=$kernel,busybox-static
	[[ $reach != console ]] || include+=,$userland
	# shellcheck disable=SC2317 # run by made
	unpack() { debian_tree "$suite" "$1" --variant=extract --architectures="${arch/disks/amd64}" --include="$include"; }
	made "$dir/root" unpack
	# Debian 13's packages hold their files below /usr alone.
	usr=$dir/root
	[[ -d $usr/lib/modules ]] || usr=$dir/root/usr
	mods=$(echo "$usr"/lib/modules/*/kernel)
	# modules NAME...: each module file, after those it depends on
	modules() {
		local m f deps
		for m in "$@"; do
			f=$(find "$mods" -name "$m.ko" -o -name "$m.ko.xz" | head -n 1)
			[[ -n $f ]] || continue	# built into this kernel
			deps=$(if [[ $f == *.xz ]]; then xz -dc "$f"; else cat "$f"; fi | tr '\0' '\n' | sed -n 's/^depends=//p' | tr , ' ')
			# shellcheck disable=SC2086 # a list of names
			modules $deps
			[[ " $order " == *" $f "* ]] || order+=" $f"
		done
	}
	order=""
	# ext4 asks for crc32c only when it mounts.
	if [[ $reach == console ]]; then
		modules zram crc32c_generic ext4
	else
		modules virtio_pci 9pnet_virtio 9p
		[[ $arch != disks ]] || modules virtio_blk crc32c_generic ext4
	fi
}

# write_guest: what the machine does once up (guest.sh), in the initramfs
# or, for the disks machine, beside it for its root
# guest_common: what every guest does first, from its own root
guest_common() {
	cat <<-'GUEST'
		# off: power off, also where no poweroff command is at hand
		off() { sync; poweroff -f 2>/dev/null || echo o >/proc/sysrq-trigger; sleep 10; }
		# The userland's programs before busybox's.
		export PATH=/usr/sbin:/usr/bin:/sbin:/bin
		mkdir -p /sys /ctl /tmp
		mount -t sysfs sys /sys
		mountpoint -q /dev/pts || { mkdir -p /dev/pts; mount -t devpts devpts /dev/pts; }
		# What udev would make: bash's process substitution reads /dev/fd.
		[ -e /dev/fd ] || ln -s /proc/self/fd /dev/fd
		for n in 0:stdin 1:stdout 2:stderr; do [ -e "/dev/${n#*:}" ] || ln -s "/proc/self/fd/${n%%:*}" "/dev/${n#*:}"; done
		! command -v ip >/dev/null || ip link set lo up
		mount -t tmpfs run /run 2>/dev/null || true
	GUEST
}

# guest_board: then, a board runs its one job on its console, and halts
guest_board() {
	cat <<-'BOARD'
			# The cases write on an ext4 in RAM, where zram keeps a page of
			# zeros as a mark alone: 9 GiB fit in the board's 512 MiB, and are
			# written at the speed of its memory (its SD card takes 5 MiB/s).
			echo 9G >/sys/block/zram0/disksize
			mkfs.ext4 -q /dev/zram0
			mkdir -p /cases
			mount -t ext4 /dev/zram0 /cases
			export ZEROFIL_CASE_DIR=/cases
			echo "zerofil-vm: Linux $(uname -r), $(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)"
			echo "zerofil-vm: begin"
			bash /job </dev/null
			echo "zerofil-vm: status $?"
			off
	BOARD
}

# guest_machine: then, a machine mounts the host's folders and runs the
# commands it is given, until it is stopped
guest_machine() {
	cat <<-'GUEST'
			# share TAG PATH: mount a host folder, once its device is there
			share() {
				i=0
				until mount -t 9p -o trans=virtio,version=9p2000.L,msize=512000,cache=none "$1" "$2" 2>/dev/null; do
					i=$((i + 1))
					[ $i -lt 100 ] || { echo "no 9p share $1"; off; }
					sleep 0.1
				done
			}
			share ctl /ctl
			while read -r tag path; do mkdir -p "$path"; share "$tag" "$path"; done </ctl/shares
			: >/ctl/ready
			# Each command is a file ID.job; its output and status go beside
			# it. ID.kill asks to end it.
			idle=0
			while [ ! -e /ctl/stop ] && [ $idle -lt 3600 ]; do
				idle=$((idle + 1))
				for job in /ctl/*.job; do
					[ -e "$job" ] || continue
					id=${job%.job}
					mv "$job" "$id.running"
					sh "$id.running" >"$id.out" 2>"$id.err" &
					pid=$!
					while kill -0 $pid 2>/dev/null; do
						[ ! -e "$id.kill" ] || kill -9 $pid
						sleep 0.02
					done
					wait $pid
					echo $? >"$id.st"
					mv "$id.st" "$id.status"
					idle=0
				done
				# Idle, it looks less often: under emulation each look costs.
				if [ $idle -gt 20 ]; then sleep 1; elif [ $idle -gt 0 ]; then sleep 0.1; fi
			done
			off
	GUEST
}

write_guest() {
	# What the machine does once up, from its own root: the host's folders
	# at their paths, then the commands it is given.
	guest=$init/guest.sh
	[[ $arch != disks ]] || guest=$dir/guest.sh
	guest_common >"$guest"
	if [[ $reach == console ]]; then guest_board >>"$guest"; else guest_machine >>"$guest"; fi
}

# make_initrd: DIR/initrd: busybox, the modules, init and the guest
make_initrd() {
	init=$dir/init.d
	rm -rf "$init"
	mkdir -p "$init/bin" "$init/lib"
	# A board's initramfs is its whole userland, without the kernel's own
	# files and the documentation.
	[[ $reach != console ]] || tar -C "$dir/root" -c --exclude=./boot --exclude='./lib/modules' \
		--exclude='./usr/lib/linux-image-*' --exclude=./usr/share/doc --exclude=./usr/share/man \
		--exclude=./usr/share/locale --exclude=./usr/share/info . | tar -C "$init" -x
	cp "$usr/bin/busybox" "$init/bin/"
	for f in $order; do
		m=${f##*/}
		if [[ $f == *.xz ]]; then xz -dc "$f" >"$init/lib/${m%.xz}"; else cp "$f" "$init/lib/"; fi
		echo "insmod /lib/${m%.xz}"
	done >"$init/modules"
	cat >"$init/init" <<-'INIT'
		#!/bin/busybox sh
		/bin/busybox --install -s /bin
		mount -t proc proc /proc 2>/dev/null || { mkdir /proc; mount -t proc proc /proc; }
		mkdir -p /dev /sys
		mount -t devtmpfs dev /dev
		. /modules
		if [ -e /guest.sh ]; then exec sh /guest.sh; fi
		# The disks machine: its root is the first disk.
		mkdir /newroot
		i=0
		until [ -e /dev/vda ] || [ $i -gt 100 ]; do i=$((i + 1)); sleep 0.1; done
		mount -t ext4 /dev/vda /newroot
		mount --move /dev /newroot/dev
		mount --move /proc /newroot/proc
		exec switch_root /newroot /bin/sh /guest.sh
	INIT
	write_guest
	chmod 755 "$init/init"
	(cd "$init" && find . | cpio --quiet -o -H newc) >"$dir/initrd"
	rm -rf "$init"
}

# make_system: the disks machine's root, with the kernel's modules, as
# the ext4 of its first disk, DIR/system.img
make_system() {
	# shellcheck disable=SC2317 # run by made
	system() {
		debian_tree "$suite" "$1" --variant=minbase --include="$system" || return
		cp -a "$usr/lib/modules" "$1/usr/lib/"
		# Unpacked, the kernel's package never ran depmod: the root's own does.
		chroot "$1" depmod -a "$(basename "$(echo "$usr"/lib/modules/*)")"
	}
	made "$dir/system" system
	cp "$dir/guest.sh" "$dir/system/guest.sh"
	rm -f "$dir/system.img"
	mkfs.ext4 -q -F -L zerofil -d "$dir/system" "$dir/system.img" 4G
}

if [[ $1 == make ]]; then
	make_root
	make_initrd
	[[ $arch != disks ]] || make_system
	ls "$dir/root/boot/"vmlinuz-*
	exit
fi

ctl=$dir/ctl
pidfile=$dir/qemu.pid
# A guest that has stopped (hung on a timer it missed, or its qemu stopped)
# is told from one that works by what it does: no output and less than a
# second of CPU time gained in this many seconds means stopped.
stall=${ZEROFIL_GUEST_STALL:-90}
# watch PID FILE...: note whether qemu PID or the guest's output (FILE...)
# moved since the last call; stalled is how long neither has, in seconds
moved_at=$SECONDS moved_cpu=-1 moved_out=-1
watch() {
	local pid=$1 cpu out
	shift
	cpu=$(awk '{ print $14 + $15 }' "/proc/$pid/stat" 2>/dev/null) || cpu=0
	out=$(cat "$@" 2>/dev/null | wc -c)
	# CPU time in clock ticks: a hundred are a second.
	if ((out != moved_out || cpu - moved_cpu >= $(getconf CLK_TCK))); then
		moved_at=$SECONDS moved_cpu=$cpu moved_out=$out
	fi
	stalled=$((SECONDS - moved_at))
}
# up: the machine's qemu runs (qemu removes its pid file as it ends)
up() {
	local pid
	pid=$(cat "$pidfile" 2>/dev/null) && kill -0 "$pid" 2>/dev/null
}

# pack PATH... -- COMMAND...: the board's initramfs ($run/initrd): its
# own, then each PATH at the same path, and the job that runs COMMAND in
# this folder
pack() {
	mkdir "$run/files"
	while (($# > 0)) && [[ $1 != -- ]]; do
		mkdir -p "$run/files${1%/*}"
		cp -a "$1" "$run/files$1"
		shift
	done
	(($# > 1)) || fails "$0: run PATH... -- COMMAND...: no command"
	shift
	{ printf 'mkdir -p '; q "$PWD"; printf '&& cd '; q "$PWD"; printf '&& exec '; for a in "$@"; do q "$a"; done; echo; } \
		>"$run/files/job"
	# The kernel unpacks one archive after the other.
	(cd "$run/files" && find . | cpio --quiet -o -H newc) | cat "$dir/initrd" - >"$run/initrd"
}
# follow: print what the board's command prints, as it prints it (a run
# that fails shows how far it got), until the board says how the command
# ended, then halts (qemu's board does not power off), or it stops: why
# says so, and row is the row it was in (the rows mark each case as it
# begins).
follow() {
	shown=0 said="" row="" why=""
	while :; do
		# Whole lines only: the last may be half written.
		lines=$(wc -l <"$log")
		# (head may stop tr, which then fails.)
		tr -d '\r' <"$log" | head -n "$lines" >"$run/out" || true
		if [[ -z $said ]] && grep -q '^zerofil-vm: begin$' "$run/out"; then
			said=$(sed -n 's/^zerofil-vm: Linux/Debian'"'"'s kernel/p' "$run/out")
			echo "# the $arch board: $said, ${qemu[*]:0:3}"
		fi
		sed -n '/^zerofil-vm: begin$/,/^zerofil-vm: status/{/^zerofil-vm: /d;p}' "$run/out" >"$run/said"
		tail -n +$((shown + 1)) "$run/said"
		shown=$(wc -l <"$run/said")
		row=$(sed -n 's/^zerofil-vm: row //p' "$run/out" | tail -n 1)
		grep -q '^zerofil-vm: status' "$run/out" && break
		kill -0 "$pid" 2>/dev/null || { why="qemu ended"; break; }
		watch "$pid" "$log"
		if ((stalled >= stall)); then
			why="no output and no CPU for $stall s"
			break
		fi
		if [[ -z $said ]] && ((SECONDS - booted > silent)); then
			why="nothing said in $silent s after power-on"
			break
		fi
		sleep 1
	done
}

case $1 in
stalls)
	limit=10 row="a row that stops on purpose" started=$SECONDS status=0
	export ZEROFIL_GUEST_STALL=$limit
	if [[ $reach == console ]]; then
		# Mid-row, its qemu is stopped for 5 s while the board counts, and
		# its clock must not move meanwhile: it counts instructions. Then
		# the board sleeps: idle, its qemu gains no CPU time, as a board
		# hung on its timer did.
		# shellcheck disable=SC2016 # expanded on the board
		ZEROFIL_BOARD_PID=$dir/stalls.pid timeout 240 "$0" "$dir" run -- sh -c "echo 'zerofil-vm: row $row'"'
			t0=$(cut -d " " -f 1 /proc/uptime); echo counting
			i=0; while [ $i -lt 200000 ]; do i=$((i + 1)); done
			echo "counted in $t0 $(cut -d " " -f 1 /proc/uptime)"; exec sleep 600' >"$dir/stalls" 2>&1 &
		runner=$!
		# seen LINE: wait until the board has said LINE; the time then
		seen() {
			for _ in {1..1500}; do
				! grep -q "$1" "$dir/stalls" || break
				sleep 0.2
			done
			date +%s.%N
		}
		from=$(seen '^counting$')
		kill -STOP "$(cat "$dir/stalls.pid")"
		counted=$(grep '^counted in' "$dir/stalls" || true)
		sleep 5
		kill -CONT "$(cat "$dir/stalls.pid")"
		[[ -z $counted ]] || fails "$0: the board counted before its qemu was stopped: $counted"
		to=$(seen '^counted in')
		wait "$runner" || status=$?
		took=$((SECONDS - started))
		read -r _ _ t0 t1 < <(grep '^counted in' "$dir/stalls") || { cat "$dir/stalls"; fails "$0: the board never counted"; }
		# Its count took as long here as it did there, and 5 s more here:
		# what it saw to the second, and what this runner saw to a second.
		lost=$(awk -v a="$t0" -v b="$t1" -v f="$from" -v t="$to" 'BEGIN { printf "%.1f", (t - f) - (b - a) }')
		awk -v l="$lost" 'BEGIN { exit !(l >= 3) }' ||
			fails "$0: the board's clock went on while its qemu was stopped for 5 s: it lost $lost s, want 3 or more"
		echo "the board's clock stood while its qemu was stopped for 5 s: it lost $lost s"
	else
		pid=$(cat "$pidfile")
		ZEROFIL_ROW=$row timeout $((limit + 60)) "$0" "$dir" sleep 600 >"$dir/stalls" 2>&1 &
		sleep 2
		kill -STOP "$pid"
		wait $! || status=$?
		took=$((SECONDS - started))
		kill -CONT "$pid"
		((took <= limit + 30)) || fails "$0: reported after $took s, want $limit to $((limit + 30))"
		# The runner asked the guest to end the program: it does, once it runs.
		for _ in {1..300}; do
			[[ -z $(find "$ctl" -name '*.status') ]] || break
			sleep 0.1
		done
		rm -f "$ctl"/*.{running,out,err,status,kill}
	fi
	want="stopped: no output and no CPU for $limit s, in '$row'"
	grep -qF "$want" "$dir/stalls" || { cat "$dir/stalls"; fails "$0: no \"$want\""; }
	((status == 125)) || fails "$0: status $status, want 125"
	echo "the $arch $reach guest that stopped was reported after $took s: $(grep -F "$want" "$dir/stalls")"
	exit
	;;
stop)
	pid=$(cat "$pidfile" 2>/dev/null) || exit 0
	touch "$ctl/stop"
	for _ in {1..300}; do
		kill -0 "$pid" 2>/dev/null || break
		sleep 0.1
	done
	kill -9 "$pid" 2>/dev/null || true
	rm -f "$pidfile"
	exit
	;;
start)
	shift
	"$0" "$dir" stop
	# boot: start qemu, and wait until the machine says it is ready
	boot() {
		rm -rf "$ctl"
		mkdir -p "$ctl"
		local shares=(-virtfs "local,path=$ctl,mount_tag=ctl,security_model=none") n=0 folder
		for folder in "$@"; do
			n=$((n + 1))
			echo "s$n $folder" >>"$ctl/shares"
			shares+=(-virtfs "local,path=$folder,mount_tag=s$n,security_model=none")
		done
		local disks=()
		if [[ $arch == disks ]]; then
			# The root, its changes thrown away, then a disk for each file
			# system: sparse, and new at each boot.
			disks=(-drive "file=$dir/system.img,format=raw,if=virtio,snapshot=on")
			mkdir -p "$dir/disks"
			local name size letter=b
			while read -r name size; do
				rm -f "$dir/disks/$name.img"
				truncate -s "$size" "$dir/disks/$name.img"
				disks+=(-drive "file=$dir/disks/$name.img,format=raw,if=virtio")
				echo "$name /dev/vd$letter" >>"$ctl/disks"
				letter=$(tr a-y b-z <<<"$letter")
			done < <("$(dirname "$0")/fs.sh" disks)
		fi
		"${qemu[@]}" -smp 1 -m 2048 -display none -monitor none -serial "file:$dir/console" -no-reboot \
			-nic none -daemonize -pidfile "$pidfile" "${disks[@]}" \
			-kernel "$(echo "$dir"/root/boot/vmlinuz-*)" -initrd "$dir/initrd" \
			-append "console=$console rdinit=/init quiet panic=-1" "${shares[@]}" </dev/null >/dev/null 2>&1 ||
			return 1
		for _ in {1..1800}; do
			[[ ! -f $ctl/ready ]] || return 0
			up || return 1
			sleep 0.1
		done
		return 1
	}
	if ! boot "$@"; then
		echo "$0: qemu stopped before the $arch machine was up; its console:"
		tail -n 20 "$dir/console"
		"$0" "$dir" stop
		echo "$0: booting it once more"
		boot "$@" || { tail -n 20 "$dir/console"; "$0" "$dir" stop; fails "$0: the $arch machine did not come up"; }
	fi
	kernel=$(echo "$dir"/root/boot/vmlinuz-*)
	echo "the $arch machine is up, on Debian's kernel ${kernel##*/vmlinuz-}"
	exit
	;;
run)
	shift
	[[ $reach == console ]] || fails "$0: the $arch machine shares folders: vm.sh DIR start, then vm.sh DIR PROG"
	run=$(mktemp -d)
	pid=""
	# shellcheck disable=SC2317 # run by the trap
	finish() {
		[[ -z $pid ]] || { kill -9 "$pid" && wait "$pid"; } 2>/dev/null || true
		rm -rf "$run"
	}
	trap finish EXIT
	pack "$@"
	for i in "${!qemu[@]}"; do
		[[ ${qemu[i]} != @* ]] || qemu[i]=$(echo "$dir"/root/usr/lib/linux-image-*/"${qemu[i]#@}")
	done
	kernel=$(echo "$dir"/root/boot/vmlinuz-*)
	log=$run/console
	# boot: power the board on, its console empty
	boot() {
		: >"$log"
		"${qemu[@]}" -display none -monitor none -serial "file:$log" -no-reboot -nic none \
			-kernel "$kernel" -initrd "$run/initrd" \
			-append "console=$console rdinit=/init quiet loglevel=1 panic=-1 $board_append" </dev/null >"$run/qemu" 2>&1 &
		pid=$!
		[[ -z ${ZEROFIL_BOARD_PID-} ]] || echo "$pid" >"$ZEROFIL_BOARD_PID"
		booted=$SECONDS
	}
	boot
	# It boots in seconds, and says so before it runs the command; one that
	# has not said so this long after power-on never will.
	silent=${ZEROFIL_BOARD_SILENT:-180}
	follow
	status=$(sed -n 's/^zerofil-vm: status \([0-9]*\)$/\1/p' "$run/out")
	if [[ -z $status ]]; then
		where="before its first row"
		[[ -n $said ]] || where="before its init"
		[[ -z $row ]] || where="in '$row'"
		echo "$0: the $arch board stopped: $why, $where; qemu and its console:" >&2
		tail -n 30 "$run/qemu" "$run/out" >&2
		exit 125
	fi
	exit "$status"
	;;
esac

if ! up || [[ ! -f $ctl/ready ]]; then
	echo "$0: the $arch machine is not up" >&2
	exit 125
fi
id=$BASHPID-$RANDOM
{ printf 'cd '; q "$PWD"; printf '&& exec '; for a in "$@"; do q "$a"; done; echo; } >"$ctl/$id.new"
mv "$ctl/$id.new" "$ctl/$id.job"
# A run that is timed out ends the program on the machine too.
trap 'touch "$ctl/$id.kill"' TERM INT
# The row it runs in: the host's rows name theirs, rows run on the machine
# mark each case in their output as it begins.
n=0
until [[ -f $ctl/$id.status ]]; do
	if ! up; then
		echo "$0: the $arch machine stopped before the program did; its console:" >&2
		tail -n 30 "$dir/console" >&2
		exit 125
	fi
	# Every second, whether it still works.
	n=$((n + 1))
	if ((n % 50 == 0)); then
		watch "$(cat "$pidfile")" "$ctl/$id.out" "$ctl/$id.err" "$dir/console"
		if ((stalled >= stall)); then
			row=${ZEROFIL_ROW-}
			[[ -n $row ]] || row=$(sed -n 's/^zerofil-vm: row //p' "$ctl/$id.out" 2>/dev/null | tail -n 1)
			echo "$0: the $arch machine stopped: no output and no CPU for $stall s, in '${row:-no row}'; its console:" >&2
			tail -n 30 "$dir/console" >&2
			# Should it go on after all, the program ends there.
			touch "$ctl/$id.kill"
			exit 125
		fi
	fi
	sleep 0.02
done
grep -v '^zerofil-vm: row ' "$ctl/$id.out" || true
cat "$ctl/$id.err" >&2
status=$(<"$ctl/$id.status")
rm -f "$ctl/$id".*
exit "$status"
