#!/usr/bin/env bash
# rows.sh COUNT COMMAND...: run COMMAND, a bats run of COUNT cases in TAP,
# showing its output. It fails unless bats planned exactly COUNT cases, so
# that a filter that misses a case is seen, and exits 77 (a skip, to CTest)
# when every case skipped, unless ZEROFIL_ROWS_CONTROL is set: a control
# that proves another row can fail must run. A case that failed fails it,
# whatever the status of COMMAND (a board's runner reads it from its
# console).
set -uo pipefail
want=$1
shift
out=$(mktemp)
trap 'rm -f "$out"' EXIT
"$@" | tee "$out"
status=${PIPESTATUS[0]}
plan=$(grep -m 1 '^1\.\.' "$out")
if [[ $plan != "1..$want" ]]; then
	echo "rows.sh: bats planned ${plan:-nothing}, want 1..$want: the cases changed since the last configure," \
		"or a filter misses one; configure again (cmake --preset test, or cmake --build runs it)"
	exit 1
fi
if grep -q '^not ok' "$out"; then
	exit 1
fi
if ((status == 0)) && ! grep -q '^ok [0-9]* .*[^#]*$' <(grep -v '# skip' "$out"); then
	if [[ -n ${ZEROFIL_ROWS_CONTROL-} ]]; then
		echo "rows.sh: every case skipped, and these rows are a control, which must run: see why each skipped"
		exit 1
	fi
	exit 77
fi
exit "$status"
