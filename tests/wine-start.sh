#!/bin/sh
# wine-start.sh WINESERVER WINE: one Wine session for the Windows cases, in
# WINEPREFIX. Its lasting processes get no pipe of CTest's, or CTest would
# wait for them.
set -eu
mkdir -p "$WINEPREFIX"
"$1" --kill 2>/dev/null || true
"$1" --persistent >/dev/null 2>&1 </dev/null
"$2" wineboot --init >/dev/null 2>&1 </dev/null
