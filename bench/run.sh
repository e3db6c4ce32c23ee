#!/usr/bin/env bash
# Benchmark zerofil against dd, head and a raw write(2) floor.
#
#   bench/run.sh [RUNS]
#
# Builds the release preset (the dynamic program, "zerofil"), the shipped
# x86-64 program of the release files (static on musl, "shipped", stripped
# as the archive holds it, from the dist preset's tree) and the floor
# program, then for each size and place runs every tool RUNS times (default
# 11), the tools taking turns, and prints a Markdown table, one row a place
# and size: the median wall times, their ratios to the floor and both
# programs' peak RSS, ready to paste into the README. Then it checks the
# targets and exits 1 if one is missed.
# Places: tmpfs (/dev/shm) and the disk (build/bench, or $BENCH_DISK).
# Needs bash, GNU coreutils, /usr/bin/time (Debian package time) and what
# the dist preset needs (scripts/deps.sh bench installs them); hyperfine,
# when present, adds a cross-check of the largest tmpfs case.
set -euo pipefail
cd "$(dirname "$0")/.."
# shellcheck source-path=SCRIPTDIR/.. source=scripts/lib.sh
. scripts/lib.sh

runs=${1:-11}
block=$(block_size)
sizes=(1 $((block - 1)) "$block" $((block + 1)) $((2 * block - 1)) $((2 * block)) $((2 * block + 1)) 67108864 1073741824)
places=("/dev/shm" "${BENCH_DISK:-$PWD/build/bench}")
tools=(floor zerofil shipped dd head)

[[ -x /usr/bin/time ]] || { echo "$0: needs /usr/bin/time (apt-get install time)" >&2; exit 1; }
cmake --preset release >/dev/null
cmake --build --preset release --target zerofil zerofil-floor >/dev/null
bin=$PWD/build/release
cmake --preset dist >/dev/null
cmake --build --preset dist --target zerofil-linux-x86_64 >/dev/null
tmp=$(mktemp -d)
cmake --install build/dist-trees/builds/linux-x86_64 --strip --prefix "$tmp/shipped" >/dev/null
shipped=$tmp/shipped/bin/zerofil

# run TOOL SIZE FILE: one timed run; prints seconds and peak RSS in KiB
run() {
	local cmd t0 t1
	case $1 in
	floor) cmd=("$bin/zerofil-floor" "$2" "$3") ;;
	zerofil) cmd=("$bin/zerofil" "$2" "$3") ;;
	shipped) cmd=("$shipped" "$2" "$3") ;;
	dd) cmd=(dd if=/dev/zero of="$3" bs=512K count="$2" iflag=count_bytes status=none) ;;
	head)
		# shellcheck disable=SC2016 # expanded by the inner shell
		cmd=(sh -c 'exec head -c "$1" /dev/zero >"$2"' head "$2" "$3")
		;;
	esac
	# Start each run with no dirty pages of the last one left to write back.
	rm -f "$3"
	sync
	t0=$EPOCHREALTIME
	/usr/bin/time -f %M -o "$tmp/rss" "${cmd[@]}"
	t1=$EPOCHREALTIME
	[[ $(stat -c %s "$3") == "$2" ]] || { echo "$1 wrote the wrong length" >&2; exit 1; }
	echo "$(bc -l <<<"$t1 - $t0") $(<"$tmp/rss")"
}

get() { awk -v p="$1" -v s="$2" -v t="$3" -v f="$4" '$1 == p && $2 == s && $3 == t { print $f }' "$tmp/results"; }
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# shellcheck disable=SC2317 # run by the trap
cleanup() {
	rm -rf "$tmp"
	for place in "${places[@]}"; do rm -f "$place/zerofil-bench.out"; done
}
trap cleanup EXIT

cpu=$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')
echo "Machine: $cpu, $(nproc) cores, $(uname -srm); $runs runs each, medians; $(date -u +%F)"
echo "Programs: zerofil (dynamic, glibc) $(stat -c %s "$bin/zerofil") bytes, shipped (static, musl) $(stat -c %s "$shipped") bytes"
echo
echo "| place | size (bytes) | floor (s) | zerofil (s) | vs floor | shipped (s) | vs floor | dd vs floor | head vs floor | zerofil peak RSS (KiB) | shipped peak RSS (KiB) |"
echo "|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|"
for place in "${places[@]}"; do
	mkdir -p "$place"
	label=disk
	[[ $place == /dev/shm ]] && label=tmpfs
	out=$place/zerofil-bench.out
	for size in "${sizes[@]}"; do
		: >"$tmp/samples"
		# The tools take turns, and each round starts with the next one.
		for ((i = 0; i < runs; i++)); do
			for ((j = 0; j < ${#tools[@]}; j++)); do
				tool=${tools[(i + j) % ${#tools[@]}]}
				echo "$tool $(run "$tool" "$size" "$out")" >>"$tmp/samples"
			done
		done
		rm -f "$out"
		for tool in "${tools[@]}"; do
			t=$(awk -v t="$tool" '$1 == t { print $2 }' "$tmp/samples" | median)
			rss=$(awk -v t="$tool" '$1 == t && $3 > m { m = $3 } END { print m }' "$tmp/samples")
			echo "$label $size $tool $t $rss" >>"$tmp/results"
		done
		f=$(get "$label" "$size" floor 4) z=$(get "$label" "$size" zerofil 4) s=$(get "$label" "$size" shipped 4)
		printf '| %s | %s | %.4f | %.4f | %.2f | %.4f | %.2f | %.2f | %.2f | %s | %s |\n' "$label" "$size" "$f" \
			"$z" "$(bc -l <<<"$z / $f")" "$s" "$(bc -l <<<"$s / $f")" "$(bc -l <<<"$(get "$label" "$size" dd 4) / $f")" \
			"$(bc -l <<<"$(get "$label" "$size" head 4) / $f")" "$(get "$label" "$size" zerofil 5)" \
			"$(get "$label" "$size" shipped 5)"
	done
done

# The targets; any miss makes the script exit 1.
verdict=0
check() {
	if bc -l <<<"$2" | grep -qx 1; then echo "- met: $1"; else echo "- missed: $1"; verdict=1; fi
}
echo
big=1073741824
zt=$(get tmpfs $big zerofil 4) st=$(get tmpfs $big shipped 4) ft=$(get tmpfs $big floor 4) dt=$(get tmpfs $big dd 4)
check "1 GiB on tmpfs within 10% of the floor ($zt s vs $ft s)" "$zt <= 1.10 * $ft"
check "1 GiB on tmpfs, shipped, within 10% of the floor ($st s vs $ft s)" "$st <= 1.10 * $ft"
check "1 GiB on tmpfs as fast as dd bs=512K, within 5% ($zt s vs $dt s)" "$zt <= 1.05 * $dt"
zb=$(get tmpfs "$block" zerofil 4) sb=$(get tmpfs "$block" shipped 4)
check "byte loop ($block bytes on tmpfs), shipped at most 1.2 times zerofil ($sb s vs $zb s)" "$sb <= 1.2 * $zb"
r1=$(get tmpfs 1 zerofil 5) rg=$(get tmpfs $big zerofil 5)
check "peak RSS under 2.5 MiB (1 byte: $r1 KiB, 1 GiB: $rg KiB)" "$r1 < 2560 && $rg < 2560"
check "peak RSS the same for 1 byte as for 1 GiB (within 64 KiB)" "($rg - $r1) < 64 && ($r1 - $rg) < 64"
s1=$(get tmpfs 1 shipped 5) sg=$(get tmpfs $big shipped 5)
check "peak RSS, shipped, under 640 KiB (1 byte: $s1 KiB, 1 GiB: $sg KiB)" "$s1 < 640 && $sg < 640"
if [[ $(ldd "$bin/zerofil") == *libstdc++* ]]; then check "no libstdc++ loaded" 0; else check "no libstdc++ loaded" 1; fi
printf -- '- byte loop, worst case: %s bytes take %.4f s, %s bytes %.4f s (tmpfs)\n' \
	"$block" "$zb" $((block + 1)) "$(get tmpfs $((block + 1)) zerofil 4)"

if command -v hyperfine >/dev/null; then
	echo
	hyperfine -N --warmup 1 --runs "$runs" \
		-n floor "$bin/zerofil-floor 1073741824 /dev/shm/zerofil-bench.out" \
		-n zerofil "$bin/zerofil 1073741824 /dev/shm/zerofil-bench.out" \
		-n shipped "$shipped 1073741824 /dev/shm/zerofil-bench.out" \
		-n dd "dd if=/dev/zero of=/dev/shm/zerofil-bench.out bs=512K count=1073741824 iflag=count_bytes status=none"
fi
exit "$verdict"
