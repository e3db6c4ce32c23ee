#!/usr/bin/env bash
# vm.sh DIR make: unpack Debian's kernel and busybox for the machine that
# DIR names (armhf, arm64, amd64) into DIR, and make a small initramfs.
# vm.sh DIR PROG ARGS...: boot that machine under qemu-system and run PROG
# with ARGS there, on its own kernel; this folder and PROG's are shared
# with it (9p) at the same paths. Prints what PROG printed, exits with its
# status.
set -euo pipefail
# shellcheck source-path=SCRIPTDIR/.. source=scripts/lib.sh
. "$(dirname "$0")/../scripts/lib.sh"
dir=$1
shift
arch=${dir##*/}
case $arch in
armhf) kernel=linux-image-armmp-lpae qemu=(qemu-system-arm -M virt -cpu cortex-a15) console=ttyAMA0 ;;
arm64) kernel=linux-image-arm64 qemu=(qemu-system-aarch64 -M virt -cpu cortex-a57) console=ttyAMA0 ;;
amd64) kernel=linux-image-amd64 qemu=(qemu-system-x86_64 -M pc -cpu max) console=ttyS0 ;;
*) echo "$0: no machine named $arch" >&2; exit 2 ;;
esac

if [[ $1 == make ]]; then
	# shellcheck disable=SC2317 # run by made
	unpack() { debian_tree bookworm "$1" --variant=extract --architectures="$arch" --include="$kernel,busybox-static"; }
	made "$dir/root" unpack
	mods=$(echo "$dir"/root/lib/modules/*/kernel)
	# modules NAME...: each module file, after those it depends on
	modules() {
		local m f deps
		for m in "$@"; do
			f=$(find "$mods" -name "$m.ko" | head -n 1)
			[[ -n $f ]] || continue	# built into this kernel
			deps=$(tr '\0' '\n' <"$f" | sed -n 's/^depends=//p' | tr , ' ')
			# shellcheck disable=SC2086 # a list of names
			modules $deps
			[[ " $order " == *" $f "* ]] || order+=" $f"
		done
	}
	order=""
	modules virtio_pci 9pnet_virtio 9p
	init=$dir/init.d
	rm -rf "$init"
	mkdir -p "$init/bin" "$init/lib"
	cp "$dir/root/bin/busybox" "$init/bin/"
	# shellcheck disable=SC2086 # a list of files
	cp $order "$init/lib/"
	for f in $order; do echo "insmod /lib/${f##*/}"; done >"$init/modules"
	cat >"$init/init" <<-'INIT'
		#!/bin/busybox sh
		/bin/busybox --install -s /bin
		mount -t proc proc /proc 2>/dev/null || { mkdir /proc; mount -t proc proc /proc; }
		mkdir -p /dev /sys /ctl
		mount -t devtmpfs dev /dev
		. /modules
		# share TAG PATH: mount a host folder, once its device is there
		share() {
			i=0
			until mount -t 9p -o trans=virtio,version=9p2000.L,msize=512000,cache=none "$1" "$2" 2>/dev/null; do
				i=$((i + 1))
				[ $i -lt 100 ] || { echo "no 9p share $1"; poweroff -f; }
				usleep 100000
			done
		}
		share ctl /ctl
		while read -r tag path; do mkdir -p "$path"; share "$tag" "$path"; done </ctl/shares
		sh /ctl/cmd >/ctl/out 2>/ctl/err
		echo $? >/ctl/status
		sync
		poweroff -f
	INIT
	chmod 755 "$init/init"
	(cd "$init" && find . | cpio --quiet -o -H newc) >"$dir/initrd"
	rm -rf "$init"
	ls "$dir/root/boot/"vmlinuz-*
	exit
fi

ctl=$(mktemp -d)
trap 'rm -rf "$ctl"' EXIT
prog=$1
# The command, each word in single quotes.
q() { printf "'%s' " "${1//\'/\'\\\'\'}"; }
{ printf 'cd '; q "$PWD"; printf '&& exec '; for a in "$@"; do q "$a"; done; echo; } >"$ctl/cmd"
progdir=$(cd "$(dirname "$prog")" && pwd)
printf 'here %s\nprog %s\n' "$PWD" "$progdir" >"$ctl/shares"
shares=()
for s in "ctl $ctl" "here $PWD" "prog $progdir"; do
	shares+=(-virtfs "local,path=${s#* },mount_tag=${s%% *},security_model=none")
done
"${qemu[@]}" -smp 2 -m 2048 -nographic -no-reboot -nic none \
	-kernel "$(echo "$dir"/root/boot/vmlinuz-*)" -initrd "$dir/initrd" \
	-append "console=$console rdinit=/init quiet panic=-1" "${shares[@]}" \
	</dev/null >"$ctl/console" 2>&1 || true
if [[ ! -f $ctl/status ]]; then
	echo "$0: the machine stopped before the program did; its console:" >&2
	tail -n 30 "$ctl/console" >&2
	exit 125
fi
cat "$ctl/out"
cat "$ctl/err" >&2
exit "$(<"$ctl/status")"
