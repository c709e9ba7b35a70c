#!/usr/bin/env bash
# Runs the loader's fuzz target for a bounded time; fails on any crash.
#   fuzz/run.sh BUILD_DIR SECONDS
# BUILD_DIR holds a build of fuzz/ (CC=clang-14 CXX=clang++-14 cmake -S fuzz -B BUILD_DIR).
# The corpus grows in BUILD_DIR/corpus across runs; crash inputs land in BUILD_DIR/.
set -euo pipefail
build=${1:?usage: fuzz/run.sh BUILD_DIR SECONDS}
seconds=${2:?usage: fuzz/run.sh BUILD_DIR SECONDS}
build=$(cd "$build" && pwd)

mkdir -p "$build/seeds" "$build/corpus"
"$build/make_seeds" "$build/seeds"

log="$build/fuzz.log"
status=0
"$build/load_fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
  -print_final_stats=1 -artifact_prefix="$build/" "$build/corpus" "$build/seeds" >"$log" 2>&1 || status=$?

grep -E '^stat::number_of_executed_units|^stat::peak_rss_mb' "$log" || true
if [ "$status" -ne 0 ]; then
  grep -E 'ERROR|SUMMARY|Test unit written' "$log" >&2 || tail -n 40 "$log" >&2
  echo "fuzzing found a crash (exit $status); see $log" >&2
  exit 1
fi
echo "fuzzing ran $seconds s without a crash"
