#!/usr/bin/env bats
# Rows for some builds only. The word before the colon names the group; the
# table of builds in cmake/builds.cmake says which build runs which groups.

# shellcheck disable=SC2034 # time_limit, wrapper and prog are read by the helpers

# shellcheck disable=SC2154 # block, kind and runner come from helper.bash

load helper

# space SIZE: skip unless the folder has room for twice SIZE
space() {
	local avail
	avail=$(df --output=avail -B1 . | tail -n 1)
	((avail >= 2 * $1)) || skip "needs $((2 * $1)) bytes free, has $avail"
}

# imports WANTED REFUSED: the program's dynamic imports name one and not the other
imports() {
	local syms
	syms=$(nm -D --undefined-only "$ZEROFIL")
	[[ $syms == *" $1@"* && $syms != *" $2@"* ]] || { echo "$syms"; return 1; }
}

@test "large: 4 GiB and a byte, every block written" {
	space 4294967297
	time_limit=900
	makes 4294967297 big 4294967297 || return
	# Every block allocated: a sparse file would read as zeros too.
	(($(stat -c '%b * %B' big) >= 4294967297)) || { stat big; return 1; }
}
@test "control: without 64-bit offsets 2 GiB and a byte is refused" {
	[[ $kind != qemu ]] || skip "qemu-user lifts the 2 GiB limit"
	space 2147483649
	time_limit=300
	write_refused 2147483649 big 2147483647
}
@test "nolfs: imports open, not open64" { imports open open64; }
@test "lfs: imports open64, not open" { imports open64 open; }
@test "dynamic: needs the C library alone" { [[ $(readelf -d "$ZEROFIL" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p') == libc.so.6 ]]; }
@test "static: no program interpreter" { elf=$(readelf -l "$ZEROFIL") && [[ $elf != *interpreter* ]]; }
@test "static: runs in an empty root" {
	[[ $EUID -eq 0 ]] || skip "chroot needs root"
	[[ $kind == host ]] || skip "the emulator is not in the empty root"
	mkdir root
	cp "$ZEROFIL" root/
	wrapper=(chroot root)
	prog=/${ZEROFIL##*/}
	invoke 5 /f
	check 0 "" ""
	zeros root/f 5
	[[ $(ls -A root) == $'f\nzerofil' ]]
}
# The 32-bit Arm program: ARMv5TE code, which the ARM926 and the ARM1176 of
# the Raspberry Pi Zero and Pi 1 run (its rows run on them under qemu-arm);
# the ARMv7 program of Debian's armhf compiler dies there.
@test "armv5: ARMv5TE code" {
	attrs=$(readelf -A "$ZEROFIL") || return
	[[ $attrs == *"Tag_CPU_arch: v5TE"* ]] || { echo "$attrs"; return 1; }
}
@test "illegal: the ARMv7 program dies of an illegal instruction on this CPU" {
	# Under qemu-user as a given CPU, or natively on a CPU older than ARMv7.
	[[ ($kind == qemu && " ${runner[*]} " == *" -cpu "*) || ($kind == host && $(uname -m) == armv[56]*) ]] ||
		skip "runs only under qemu-user as a given CPU, or on an ARMv5 or ARMv6"
	# qemu-user dumps its core in the case's folder otherwise.
	wrapper=(sh -c 'ulimit -c 0 && exec "$@"' sh)
	invoke 1048577 f
	[[ $status == 132 ]] || { echo "status $status, want 132 (SIGILL)"; cat "$io/err"; return 1; }
}
# The rows of the lines that write onto a file system of their own
# (tests/fs.sh), where a small one is soon full.
@test "full: a full file system: the write line, what fitted kept, nothing left free" {
	time_limit=300
	write_refused -1 f || return
	zeros f "$(stat -c %s f)" || return
	(($(stat -c %s f) > 0)) || { echo "nothing kept"; return 1; }
	local free
	free=$(df --output=avail -B1 . | tail -n 1)
	echo "# kept $(stat -c %s f) bytes, left $free free" >&3
	((free < 2097152)) || { echo "$free bytes left free"; return 1; }
}
@test "fat32: 4 GiB and a byte stops at the limit of FAT32, 4 GiB less a byte, with the write line" {
	[[ $(stat -f -c %T .) == msdos ]] || skip "not on FAT"
	time_limit=1200
	write_refused 4294967297 big || return
	# Its length, and its last block zero: reading all of it back under
	# emulation would take minutes.
	[[ $(stat -c %s big) == 4294967295 ]] || { stat big; return 1; }
	tail -c "$block" big >"$io/last"
	zeros "$io/last" "$block"
}
@test "nfs: a full disk that shows only at close is reported" {
	[[ $(stat -f -c %T .) == nfs ]] || skip "not on NFS"
	command -v strace >/dev/null || skip "strace is missing"
	# A MiB more than the whole export: every write is taken into the
	# client's cache, and the server's refusal comes back at close.
	local size
	size=$(($(df --output=size -B1 . | tail -n 1) + 1048576))
	wrapper=(strace -f -qq -o "$io/trace" -e "trace=write,close" -e status=failed)
	write_refused "$size" f || return
	grep -q 'close(.*ENOSPC' "$io/trace" || { echo "no close refused: $(cat "$io/trace")"; return 1; }
	if grep 'write(3,' "$io/trace"; then echo "a write was refused, not only the close"; return 1; fi
}
@test "quota: a user over a quota is refused, what fitted kept" {
	[[ -n ${ZEROFIL_QUOTA_DIR-} ]] || skip "no folder under a quota"
	as_nobody
	cd "$ZEROFIL_QUOTA_DIR" || return
	write_refused -1 f || return
	zeros f "$(stat -c %s f)" || return
	echo "# kept $(stat -c %s f) bytes under a quota of $ZEROFIL_QUOTA_BYTES" >&3
	(($(stat -c %s f) > 0 && $(stat -c %s f) <= ZEROFIL_QUOTA_BYTES)) || { stat f; return 1; }
	rm f
}
@test "pe: imports no MinGW DLL" { pe=$(objdump -p "$ZEROFIL") && [[ $pe == *"DLL Name: msvcrt"* && $pe != *"DLL Name: lib"* ]]; }
@test "pe: its properties show the version" {
	rc=$(x86_64-w64-mingw32-windres -i "$ZEROFIL" -O rc)
	[[ $rc == *"FILEVERSION ${ZEROFIL_VERSION//./, }, 0"* ]] || { echo "$rc"; return 1; }
	[[ $rc == *"VALUE \"FileVersion\", \"$ZEROFIL_VERSION\""* ]] || { echo "$rc"; return 1; }
}
