#!/usr/bin/env bash
# Benchmark zerofil against a raw write(2) floor, dd and head, on tmpfs.
#
#   bench/run.sh [RUNS]
#
# Builds the shipped x86-64 program of the release files (static on musl,
# stripped as the archive holds it, from the dist preset's tree,
# "shipped"), the release preset's dynamic one ("zerofil") and the floor
# (bench/floor.cpp: the program's block, zeroed by memset once and written
# with write(2) until done, static). For each size every tool runs RUNS
# times (default 11), the tools taking turns, so that each round is a
# pair of runs for each tool and the floor; a ratio is the median of the
# rounds' ratios. Prints a Markdown table with the machine and the date,
# counts the instructions of each program with callgrind, draws the times
# against the size (SVG, to BENCH_SVG or build/bench/speed.svg), then
# checks the targets and exits 1 if one is missed.
# Needs what `scripts/deps.sh bench` installs.
set -euo pipefail
cd "$(dirname "$0")/.."

# shellcheck source-path=SCRIPTDIR/.. source=scripts/lib.sh
. scripts/lib.sh
runs=${1:-11}
block=$(block_size)
((runs >= 11)) || { echo "$0: the targets are medians of at least 11 runs" >&2; exit 2; }
mib=1048576
sizes=("$mib" $((mib + 1)) $((16 * mib)) $((64 * mib)) $((1024 * mib)))
tools=(floor shipped zerofil dd head)
svg=${BENCH_SVG:-$PWD/build/bench/speed.svg}
place=/dev/shm
out=$place/zerofil-bench.out

for t in /usr/bin/time valgrind gnuplot; do
	command -v "$t" >/dev/null || { echo "$0: needs $t: scripts/deps.sh bench installs it" >&2; exit 1; }
done
cmake --preset release >/dev/null
cmake --build --preset release --target zerofil zerofil-floor >/dev/null
bin=$PWD/build/release
cmake --preset dist >/dev/null
cmake --build --preset dist --target zerofil-linux-x86_64 >/dev/null
tmp=$(mktemp -d)
# shellcheck disable=SC2317 # run by the trap
cleanup() { rm -rf "$tmp" "$out"; }
trap cleanup EXIT
cmake --install build/dist-trees/builds/linux-x86_64 --strip --prefix "$tmp/shipped" >/dev/null
shipped=$tmp/shipped/bin/zerofil

# cmd TOOL SIZE FILE: the command line of one run, in the array cmd
cmd() {
	case $1 in
	floor) cmd=("$bin/zerofil-floor" "$2" "$3" "$block") ;;
	zerofil) cmd=("$bin/zerofil" "$2" "$3") ;;
	shipped) cmd=("$shipped" "$2" "$3") ;;
	dd) cmd=(dd if=/dev/zero of="$3" bs=512K count="$2" iflag=count_bytes status=none) ;;
	head)
		# shellcheck disable=SC2016 # expanded by the inner shell
		cmd=(sh -c 'exec head -c "$1" /dev/zero >"$2"' head "$2" "$3")
		;;
	esac
}

# run TOOL SIZE: one timed run; prints seconds and peak RSS in KiB
run() {
	local t0 t1
	cmd "$1" "$2" "$out"
	# Start each run with no dirty pages of the last one left to write back.
	rm -f "$out"
	sync
	t0=$EPOCHREALTIME
	/usr/bin/time -f %M -o "$tmp/rss" "${cmd[@]}"
	t1=$EPOCHREALTIME
	[[ $(stat -c %s "$out") == "$2" ]] || { echo "$1 wrote the wrong length" >&2; exit 1; }
	echo "$(bc -l <<<"$t1 - $t0") $(<"$tmp/rss")"
}

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
# stat SIZE TOOL FIELD: the median of a tool's runs at a size: time, rss, or
# ratio (each round's time over the floor's of that round)
stat_of() {
	case $3 in
	time) awk -v s="$1" -v t="$2" '$1 == s && $3 == t { print $4 }' "$tmp/samples" | median ;;
	rss) awk -v s="$1" -v t="$2" '$1 == s && $3 == t && $5 > m { m = $5 } END { print m }' "$tmp/samples" ;;
	ratio)
		awk -v s="$1" -v t="$2" '$1 == s && $3 == "floor" { f[$2] = $4 } $1 == s && $3 == t { x[$2] = $4 }
			END { for (r in x) print x[r] / f[r] }' "$tmp/samples" | median
		;;
	esac
}

cpu=$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')
echo "Machine: $cpu, $(nproc) cores, $(uname -srm), on tmpfs; $runs paired runs each, medians; $(date -u +%F)"
echo "Programs: shipped (static, musl) $(stat -c %s "$shipped") bytes, zerofil (dynamic, glibc) $(stat -c %s "$bin/zerofil") bytes"
echo
: >"$tmp/samples"
for size in "${sizes[@]}"; do
	# The tools take turns, and each round starts with the next one.
	for ((i = 0; i < runs; i++)); do
		for ((j = 0; j < ${#tools[@]}; j++)); do
			tool=${tools[(i + j) % ${#tools[@]}]}
			echo "$size $i $tool $(run "$tool" "$size")" >>"$tmp/samples"
		done
	done
done
rm -f "$out"

echo "| size (bytes) | floor (s) | shipped (s) | vs floor | zerofil (s) | vs floor | dd vs floor | head vs floor | shipped peak RSS (KiB) |"
echo "|---:|---:|---:|---:|---:|---:|---:|---:|---:|"
for size in "${sizes[@]}"; do
	printf '| %s | %.4f | %.4f | %.2f | %.4f | %.2f | %.2f | %.2f | %s |\n' "$size" \
		"$(stat_of "$size" floor time)" "$(stat_of "$size" shipped time)" "$(stat_of "$size" shipped ratio)" \
		"$(stat_of "$size" zerofil time)" "$(stat_of "$size" zerofil ratio)" \
		"$(stat_of "$size" dd ratio)" "$(stat_of "$size" head ratio)" "$(stat_of "$size" shipped rss)"
	for tool in "${tools[@]}"; do echo "$size $tool $(stat_of "$size" "$tool" time)"; done >>"$tmp/plot"
done

# Instructions in user space, which callgrind counts the same on a busy
# machine as on a quiet one.
echo
echo "| instructions (callgrind) | $((mib)) bytes | $((mib + 1)) bytes | $((16 * mib)) bytes |"
echo "|---|---:|---:|---:|"
for tool in floor shipped zerofil; do
	row="| $tool"
	for size in $mib $((mib + 1)) $((16 * mib)); do
		cmd "$tool" "$size" "$out"
		n=$(valgrind --tool=callgrind --callgrind-out-file=/dev/null "${cmd[@]}" 2>&1 |
			sed -n 's/.*Collected : \([0-9]*\).*/\1/p')
		echo "$tool $size $n" >>"$tmp/instructions"
		row+=" | $(printf "%'d" "$n")"
	done
	echo "$row |"
done
rm -f "$out"

# The picture: time against size for each tool, both on log scales.
mkdir -p "$(dirname "$svg")"
for tool in "${tools[@]}"; do awk -v t="$tool" '$2 == t { print $1, $3 }' "$tmp/plot" >"$tmp/$tool.dat"; done
gnuplot <<-PLOT
	set terminal svg size 720,450 dynamic font "sans,12" background "white"
	set output "$svg"
	set title "Writing zero bytes to tmpfs: median of $runs runs ($(date -u +%F))"
	set logscale xy
	set xlabel "size"
	set ylabel "wall time (s)"
	set xtics ("1 MiB" 1048576, "16 MiB" 16777216, "64 MiB" 67108864, "1 GiB" 1073741824)
	set format y "%g"
	set key top left
	set grid
	plot for [t in "${tools[*]}"] "$tmp/".t.".dat" using 1:2 with linespoints pointsize 0.6 title t
PLOT

# The targets; any miss makes the script exit 1.
verdict=0
check() {
	if bc -l <<<"$2" | grep -qx 1; then echo "- met: $1"; else echo "- missed: $1"; verdict=1; fi
}
echo
n=$(awk -v s=$mib '$1 == "shipped" && $2 == s { print $3 }' "$tmp/instructions")
check "instructions of shipped for $mib bytes at most 2 million ($n)" "$n <= 2000000"
for size in "${sizes[@]}"; do
	r=$(stat_of "$size" shipped ratio)
	check "$size bytes: shipped at most 1.10 times the floor ($r)" "$r <= 1.10"
	s=$(stat_of "$size" shipped time) d=$(stat_of "$size" dd time) h=$(stat_of "$size" head time)
	check "$size bytes: shipped no slower than dd and head ($s s; dd $d s, head $h s)" "$s <= $d && $s <= $h"
done
r=$(stat_of $((1024 * mib)) shipped rss)
check "peak RSS of shipped at 1 GiB under 640 KiB ($r KiB)" "$r < 640"
if [[ $(ldd "$bin/zerofil") == *libstdc++* ]]; then check "no libstdc++ loaded" 0; else check "no libstdc++ loaded" 1; fi
echo "- picture: $svg"
exit "$verdict"
