#!/usr/bin/env bash
# Builds everything twice, normally and with the address and undefined-
# behaviour sanitizers, and runs every test in both builds; then fuzzes each
# fuzz target for FUZZ_SECONDS (default 60) in a clang build.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
jobs=$(nproc)
for variant in build:OFF build-sanitize:ON; do
  dir=$here/${variant%%:*}
  cmake -S "$here" -B "$dir" -DBUILD_TESTING=ON -DSANITIZE="${variant##*:}" >/dev/null
  cmake --build "$dir" -j"$jobs"
  ctest --test-dir "$dir" --output-on-failure -j"$jobs"
done
"$here/fuzz/run.sh" "${FUZZ_SECONDS:-60}"
