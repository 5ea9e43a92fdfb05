#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (address and undefined-behaviour
# sanitizers) and fuzzes them.
#
#   fuzz/run.sh [SECONDS]                  # CI: each target SECONDS (default 60)
#   fuzz/run.sh --long SECONDS [TARGET...] # long runs that add up
#
# CI mode starts from the seeds in fuzz/corpus/<target> and keeps what it
# finds in build-fuzz/corpus/<target>. Long mode keeps its corpus in
# $LDTAG_FUZZ_DIR/<target> (default ~/.cache/ldtag-fuzz), so that each run
# goes on from where the last one stopped, adds the run's executions to a
# running total there, and then merges into fuzz/corpus/<target> the inputs
# that reach code its seeds do not (libFuzzer's -merge=1 keeps the fewest
# inputs that give the coverage). A crash, hang or leak leaves its input in
# build-fuzz/artifacts and fails; add it to the seeds and to a test when you
# fix it. Each target's executions per second are printed as libFuzzer
# counted them.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=$here/build-fuzz
targets=(scan ldprune ldprep ldcluster memberjoin1 memberjoin2)
long=
if [ "${1:-}" = --long ]; then
  long=1
  shift
fi
seconds=${1:-60}
[ $# -gt 0 ] && shift
[ $# -gt 0 ] && targets=("$@")

CC=clang CXX=clang++ cmake -S "$here" -B "$build" -DFUZZ=ON -DBUILD_TESTING=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)"
mkdir -p "$build/artifacts"
# AddressSanitizer keeps freed memory out of use, to catch its use after
# free, up to 256 MB by default: the resident memory of a long run grows
# until that quarantine is full, and further as the allocator keeps pages
# behind it for the sizes the inputs come to use (the ldcluster target's,
# with CBC's large blocks, grew from 104 to 638 MB in 20 minutes while its
# live memory stayed flat). An input frees all it takes, a few megabytes at
# most, so 32 MB still holds each freed block for many inputs after its own.
export ASAN_OPTIONS=quarantine_size_mb=32${ASAN_OPTIONS:+:$ASAN_OPTIONS}
store=${LDTAG_FUZZ_DIR:-$HOME/.cache/ldtag-fuzz}

for target in "${targets[@]}"; do
  if [ -n "$long" ]; then
    corpus=$store/$target
  else
    corpus=$build/corpus/$target
  fi
  mkdir -p "$corpus"
  echo "fuzzing $target for ${seconds}s"
  "$build/fuzz/${target}_fuzz" "$corpus" "$here/fuzz/corpus/$target" \
    -max_total_time="$seconds" -max_len=4096 -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix="$build/artifacts/${target}-" -print_final_stats=1 2>"$build/${target}.log" ||
    { tail -n 60 "$build/${target}.log"; echo "fuzzing $target failed; see $build/artifacts"; exit 1; }
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$build/${target}.log")
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$build/${target}.log")
  echo "  $runs inputs, $rate per second"
  if [ -n "$long" ]; then
    total=$(( $(cat "$store/$target.total" 2>/dev/null || echo 0) + runs ))
    echo "$total" > "$store/$target.total"
    echo "  $total inputs over all long runs (kept in $store)"
    mkdir -p "$build/merged/$target"
    before=$(ls "$here/fuzz/corpus/$target" | wc -l)
    "$build/fuzz/${target}_fuzz" -merge=1 -max_len=4096 -timeout=10 "$here/fuzz/corpus/$target" "$corpus" \
      2>"$build/${target}.merge.log" || { tail -n 20 "$build/${target}.merge.log"; exit 1; }
    echo "  $(( $(ls "$here/fuzz/corpus/$target" | wc -l) - before )) inputs that add coverage merged into fuzz/corpus/$target"
  fi
done
