#!/usr/bin/env bash
# fs.sh disks: the file systems that the disks machine (tests/vm.sh) gives
# a disk each, and its size: "NAME SIZE", a line each.
# fs.sh fuse: the file systems mounted here through FUSE, on one line.
# fs.sh left: nothing is left of the runs here, neither an image, a mount
# folder nor a loop device on an image.
# fs.sh NAME COMMAND...: make the file system NAME afresh, mount it, and run
# COMMAND (the rows, in bats) with ZEROFIL_CASE_DIR on it, so that every
# case writes there (tests/helper.bash); then unmount it. On the disks machine, with Debian's drivers, for
# the names of "fs.sh disks", on the disk the machine lists in
# /ctl/disks; here, through FUSE, for the others, in an image file.
# Says which kernel and driver ran them.
set -euo pipefail

# Each file system: its disk's size, and how it is made and mounted. Each
# is small, so that a full one is soon reached (XFS and Btrfs need more to
# be made at all), but a FAT32 that holds more than 4 GiB, FAT32's limit
# for a file.
sizes="vfat 64M
vfat-large 4608M
exfat 64M
ntfs3 64M
f2fs 64M
xfs 320M
btrfs 128M
ext4 64M
nfs 8M"
fuse="ntfs-3g exfat-fuse"

case $1 in
disks) echo "$sizes"; exit ;;
fuse) echo "$fuse"; exit ;;
left)
	left=$(ls -d /tmp/zerofil-fs.* 2>/dev/null; losetup -n -O NAME,BACK-FILE 2>/dev/null | grep zerofil-fs || true)
	[[ -z $left ]] || { echo "$0: left behind:"; echo "$left"; exit 1; }
	echo "nothing left: no image, no mount folder, no loop device"
	exit
	;;
esac
fs=$1
shift
mnt=$(mktemp -d /tmp/zerofil-fs.XXXXXX)
image=""
loop=""
served=""
# shellcheck disable=SC2317 # run by the trap
finish() {
	cd /
	umount "$mnt" 2>/dev/null || umount -l "$mnt" 2>/dev/null || true
	if [[ -n $served ]]; then
		exportfs -ua 2>/dev/null || true
		umount "$served" 2>/dev/null || true
		rmdir "$served" 2>/dev/null || true
	fi
	rmdir "$mnt" 2>/dev/null || true
	[[ -z $loop ]] || losetup -d "$loop"
	[[ -z $image ]] || rm -f "$image"
}
trap finish EXIT
disk=$(awk -v n="$fs" '$1 == n { print $2 }' /ctl/disks 2>/dev/null || true)

case $fs in
vfat | vfat-large)
	mkfs.vfat -F 32 -n ZEROFIL "$disk" >/dev/null
	# quiet: chmod, which FAT cannot keep, succeeds without a word.
	mount -t vfat -o quiet "$disk" "$mnt"
	;;
exfat)
	mkfs.exfat "$disk" >/dev/null
	mount -t exfat "$disk" "$mnt"
	;;
ntfs3)
	mkntfs -F -f -q "$disk" >/dev/null 2>&1 || { echo "$0: mkntfs failed" >&2; exit 1; }
	mount -t ntfs3 "$disk" "$mnt"
	;;
f2fs)
	mkfs.f2fs -f -q "$disk" >/dev/null
	mount -t f2fs "$disk" "$mnt"
	;;
xfs)
	mkfs.xfs -f -q "$disk"
	mount -t xfs "$disk" "$mnt"
	;;
btrfs)
	mkfs.btrfs -f -q "$disk" >/dev/null
	mount -t btrfs "$disk" "$mnt"
	;;
ext4)
	# With a user quota: the quota rows write as nobody into open/, where
	# nobody may use 2 MiB.
	mkfs.ext4 -F -q -O quota "$disk"
	mount -t ext4 -o usrquota "$disk" "$mnt"
	setquota -u nobody 0 2048 0 0 "$mnt"
	mkdir -m 1777 "$mnt/open"
	export ZEROFIL_QUOTA_DIR=$mnt/open ZEROFIL_QUOTA_BYTES=2097152
	;;
nfs)
	# NFS 4.2 over the loopback, from this machine's own server, of an
	# ext4 of 8 MiB.
	served=$(mktemp -d /srv/zerofil-nfs.XXXXXX)
	mkfs.ext4 -F -q "$disk"
	mount -t ext4 "$disk" "$served"
	chmod 1777 "$served"
	mountpoint -q /proc/fs/nfsd || mount -t nfsd nfsd /proc/fs/nfsd
	mkdir -p /var/lib/nfs/v4recovery
	exportfs -o rw,no_root_squash,no_subtree_check,fsid=1 "127.0.0.1:$served"
	pgrep -x rpc.mountd >/dev/null || rpc.mountd -N 3
	# Started once a boot, with the shortest grace period, in which a new
	# server makes its clients wait before they may open a file.
	[[ $(</proc/fs/nfsd/threads) != 0 ]] || rpc.nfsd -N 3 --grace-time 10 --lease-time 10 2
	mount -t nfs4 -o vers=4.2 "127.0.0.1:$served" "$mnt"
	;;
*)
	[[ " $fuse " == *" $fs "* ]] || { echo "$0: no file system named $fs" >&2; exit 2; }
	image=$(mktemp /tmp/zerofil-fs.XXXXXX.img)
	truncate -s 64M "$image"
	# exfat-fuse, run by root, mounts a block device only.
	loop=$(losetup -f --show "$image")
	if [[ $fs == ntfs-3g ]]; then
		mkntfs -F -f -q "$loop" >/dev/null 2>&1 || { echo "$0: mkntfs failed" >&2; exit 1; }
		ntfs-3g "$loop" "$mnt"
		driver="ntfs-3g $(ntfs-3g --version 2>&1 | head -n 1)"
	else
		mkfs.exfat "$loop" >/dev/null
		mount.exfat-fuse "$loop" "$mnt" >/dev/null
		driver="exfat-fuse $(mount.exfat-fuse -V 2>&1 | head -n 1)"
	fi
	;;
esac
mkdir "$mnt/cases"
[[ -n ${driver-} ]] || driver="the kernel's $(findmnt -n -o FSTYPE "$mnt")"
echo "# $fs: $driver, $(df -h --output=size "$mnt" | tail -n 1 | tr -d ' '), on Linux $(uname -r)"
ZEROFIL_CASE_DIR=$mnt/cases "$@"
