#!/usr/bin/env bash
# Runs the fuzz targets for a bounded time each; fails on any crash.
#   fuzz/run.sh BUILD_DIR SECONDS [TARGET]
# BUILD_DIR holds a build of fuzz/ (CC=clang-14 CXX=clang++-14 cmake -S fuzz -B BUILD_DIR).
# TARGET is load or api (the module loader, the whole interface); both without it.
# Each corpus grows in BUILD_DIR/corpus-TARGET across runs; crash inputs land in BUILD_DIR/.
set -euo pipefail
build=${1:?usage: fuzz/run.sh BUILD_DIR SECONDS [load|api]}
seconds=${2:?usage: fuzz/run.sh BUILD_DIR SECONDS [load|api]}
targets=${3:-load api}
build=$(cd "$build" && pwd)

mkdir -p "$build/seeds-load" "$build/seeds-api"
"$build/make_seeds" "$build/seeds-load" "$build/seeds-api"

for target in $targets; do
  mkdir -p "$build/corpus-$target"
  log="$build/fuzz-$target.log"
  status=0
  "$build/${target}_fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
    -print_final_stats=1 -artifact_prefix="$build/$target-" "$build/corpus-$target" "$build/seeds-$target" \
    >"$log" 2>&1 || status=$?

  grep -E '^stat::number_of_executed_units|^stat::peak_rss_mb' "$log" || true
  if [ "$status" -ne 0 ]; then
    grep -E 'ERROR|SUMMARY|Test unit written' "$log" >&2 || tail -n 40 "$log" >&2
    echo "fuzzing the $target target found a crash (exit $status); see $log" >&2
    exit 1
  fi
  echo "fuzzing the $target target ran $seconds s without a crash"
done
