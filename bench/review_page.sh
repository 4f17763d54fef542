#!/usr/bin/env bash
# How quickly headless Chromium opens a review page of 3,000 made-up rows (against a page of
# one row, in the same browser), and how quickly a click on a waveform, a click on a
# candidate and a nudge with → redraw their row there: from the input event to the next
# frame drawn. Prints the figures; the targets (open within 5 s, a redraw within 100 ms)
# are for comparison, not a verdict.
#
# Environment: BUILD_DIR (build), BENCH_ROWS (3000), BENCH_REPEATS (3), BENCH_EDITS (20).
set -euo pipefail
cd "$(dirname "$0")/.."

build=$(realpath "${BUILD_DIR:-build}")
rows=${BENCH_ROWS:-3000}
bench="$build/bench/review_page_bench"
[[ -x "$bench" ]] || { echo "Build first: $bench is missing" >&2; exit 1; }
[[ -x /usr/bin/chromium ]] || { echo "Chromium is missing: apt install chromium" >&2; exit 1; }
source tests/web/browser-tools.sh
need_npm "$build" playwright-core@1

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$bench" "$work/one.html" 1
"$bench" "$work/large.html" "$rows"
echo "page of $rows rows: $(du -h "$work/large.html" | cut -f1)"
node bench/review_page_timing.js "$modules" "$work/one.html" "$work/large.html" "${BENCH_REPEATS:-3}" "${BENCH_EDITS:-20}"
