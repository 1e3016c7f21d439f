#!/usr/bin/env bash
# bench_render stops a reference mutool that does not finish within its limit and says so,
# instead of waiting for it. A stand-in mutool that never finishes plays the slow reference.
# Usage: test_tool_timeout.sh BENCH_RENDER PDF
set -euo pipefail
bench=$1
pdf=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf '#!/bin/sh\necho $$ >> "%s/pids"\nexec sleep 600\n' "$work" > "$work/mutool"
chmod +x "$work/mutool"
fail() { echo "FAIL: $*"; cat "$work/out"; exit 1; }

PATH="$work:$PATH" NODERA_BENCH_RUNS=1 NODERA_BENCH_TOOL_TIMEOUT=0.5 QT_QPA_PLATFORM=offscreen \
    "$bench" "$pdf" 1 2 20 > "$work/out" 2> "$work/err" || fail "bench_render failed: $(cat "$work/err")"
for figure in mutool_open mutool_draw mutool_search mutool_text; do
    grep -qx "${figure}_timeout_ms: 500.000 ms" "$work/out" || fail "no timeout reported for $figure"
done
grep -q "^mutool_open_ms:" "$work/out" && fail "a stopped run reported a time"
grep -q "^render_ms_per_page: [0-9]" "$work/out" || fail "own figures missing"
[ "$(wc -l < "$work/pids")" -eq 4 ] || fail "expected one try per figure after a timeout"
while read -r pid; do
    kill -0 "$pid" 2>/dev/null && fail "the stand-in $pid was left running"
done < "$work/pids"
echo "1 passed, 0 failed"
