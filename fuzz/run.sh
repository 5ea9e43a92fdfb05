#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (address and undefined-behaviour
# sanitizers) and fuzzes each one for SECONDS (default 60), starting from the
# seeds in fuzz/corpus/<target>. New inputs go to build-fuzz/corpus/<target>;
# a crash, hang or leak leaves its input in build-fuzz/artifacts and fails.
#
#   fuzz/run.sh            # a minute per target
#   fuzz/run.sh 3600       # an hour per target
set -euo pipefail
seconds=${1:-60}
here=$(cd "$(dirname "$0")/.." && pwd)
build=$here/build-fuzz
CC=clang CXX=clang++ cmake -S "$here" -B "$build" -DFUZZ=ON -DBUILD_TESTING=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)"
mkdir -p "$build/artifacts"
for target in scan ldprune memberjoin1 memberjoin2; do
  mkdir -p "$build/corpus/$target"
  echo "fuzzing $target for ${seconds}s"
  "$build/fuzz/${target}_fuzz" "$build/corpus/$target" "$here/fuzz/corpus/$target" \
    -max_total_time="$seconds" -max_len=4096 -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix="$build/artifacts/${target}-" -print_final_stats=1 2>"$build/${target}.log" ||
    { tail -n 60 "$build/${target}.log"; echo "fuzzing $target failed; see $build/artifacts"; exit 1; }
  grep -E "^stat::number_of_executed_units" "$build/${target}.log" || true
done
