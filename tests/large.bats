#!/usr/bin/env bats
# A file past 4 GiB, written for real.

# shellcheck disable=SC2034 # cap is read by the helpers

load helper

@test "4 GiB and a byte" {
	local size=4294967297 avail
	avail=$(df --output=avail -B1 . | tail -n 1)
	((avail >= 2 * size)) || skip "needs $((2 * size)) bytes free, has $avail"
	cap=900
	zf "$size" big
	check 0 "" "" && zeros big "$size" || return
	# Every block allocated: a sparse file would read as zeros too.
	(($(stat -c '%b * %B' big) >= size)) || { stat big; return 1; }
}

teardown() { rm -f "$BATS_TEST_TMPDIR/here/big"; }
