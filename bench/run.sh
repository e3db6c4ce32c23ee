#!/usr/bin/env bash
# Benchmark zerofil against dd, head and a raw write(2) floor.
#
#   bench/run.sh [RUNS]
#
# Builds the release preset and the floor program, then for each size and
# place runs every tool RUNS times (default 5), the tools taking turns, and
# prints the median wall time, its ratio to the floor and the peak RSS.
# Places: tmpfs (/dev/shm) and the disk (build/bench, or $BENCH_DISK).
# Needs bash, GNU coreutils and /usr/bin/time (Debian package time);
# hyperfine, when present, adds a cross-check of the largest tmpfs case.
set -euo pipefail
cd "$(dirname "$0")/.."

runs=${1:-5}
sizes=(1 1048576 1048577 67108864 1073741824)
places=("/dev/shm" "${BENCH_DISK:-$PWD/build/bench}")
tools=(floor zerofil dd head)

[[ -x /usr/bin/time ]] || { echo "$0: needs /usr/bin/time (apt-get install time)" >&2; exit 1; }
cmake --preset release >/dev/null
cmake --build --preset release --target zerofil zerofil-floor >/dev/null
bin=$PWD/build/release

# run TOOL SIZE FILE: one timed run; prints seconds and peak RSS in KiB
run() {
	local cmd t0 t1
	case $1 in
	floor) cmd=("$bin/zerofil-floor" "$2" "$3") ;;
	zerofil) cmd=("$bin/zerofil" "$2" "$3") ;;
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

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

tmp=$(mktemp -d)
# shellcheck disable=SC2317 # run by the trap
cleanup() {
	rm -rf "$tmp"
	for place in "${places[@]}"; do rm -f "$place/zerofil-bench.out"; done
}
trap cleanup EXIT

echo "zerofil benchmark: $(nproc) cores, $(uname -srm), $runs runs each, $(date -u +%F)"
echo "CPU: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')"
printf '\n| place | size (bytes) | tool | median (s) | vs floor | peak RSS (KiB) |\n'
printf '|---|---:|---|---:|---:|---:|\n'
verdict=0
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
		floor=$(awk '$1 == "floor" { print $2 }' "$tmp/samples" | median)
		for tool in "${tools[@]}"; do
			t=$(awk -v t="$tool" '$1 == t { print $2 }' "$tmp/samples" | median)
			rss=$(awk -v t="$tool" '$1 == t && $3 > m { m = $3 } END { print m }' "$tmp/samples")
			printf '| %s | %s | %s | %.4f | %.2f | %s |\n' "$label" "$size" "$tool" "$t" "$(bc -l <<<"$t / $floor")" "$rss"
			echo "$label $size $tool $t $rss" >>"$tmp/results"
		done
	done
done

# The targets: at 1 GiB on tmpfs within 10% of the floor and no slower than
# dd; peak RSS under 2.5 MiB and the same for 1 byte as for 1 GiB; no C++
# runtime loaded.
get() { awk -v p="$1" -v s="$2" -v t="$3" -v f="$4" '$1 == p && $2 == s && $3 == t { print $f }' "$tmp/results"; }
check() {
	if bc -l <<<"$2" | grep -qx 1; then echo "met:    $1"; else echo "missed: $1"; verdict=1; fi
}
echo
zt=$(get tmpfs 1073741824 zerofil 4)
check "1 GiB on tmpfs within 10% of the floor ($zt s vs $(get tmpfs 1073741824 floor 4) s)" "$zt <= 1.10 * $(get tmpfs 1073741824 floor 4)"
check "1 GiB on tmpfs no slower than dd ($zt s vs $(get tmpfs 1073741824 dd 4) s)" "$zt <= $(get tmpfs 1073741824 dd 4)"
r1=$(get tmpfs 1 zerofil 5) rg=$(get tmpfs 1073741824 zerofil 5)
check "peak RSS under 2.5 MiB (1 byte: $r1 KiB, 1 GiB: $rg KiB)" "$r1 < 2560 && $rg < 2560"
check "peak RSS the same for 1 byte as for 1 GiB (within 64 KiB)" "($rg - $r1) < 64 && ($r1 - $rg) < 64"
if ldd "$bin/zerofil" | grep -q 'libstdc++'; then check "no libstdc++ loaded" 0; else check "no libstdc++ loaded" 1; fi
cost=$(bc -l <<<"$(get tmpfs 1048576 zerofil 4) - $(get tmpfs 1048577 zerofil 4)")
printf 'cost of the 524288 one-byte calls of an exact multiple: %.4f s (1 MiB minus 1 MiB + 1, tmpfs)\n' "$cost"

if command -v hyperfine >/dev/null; then
	echo
	hyperfine -N --warmup 1 --runs "$runs" \
		-n floor "$bin/zerofil-floor 1073741824 /dev/shm/zerofil-bench.out" \
		-n zerofil "$bin/zerofil 1073741824 /dev/shm/zerofil-bench.out" \
		-n dd "dd if=/dev/zero of=/dev/shm/zerofil-bench.out bs=512K count=1073741824 iflag=count_bytes status=none"
fi
exit "$verdict"
