#!/usr/bin/env bash
# Measures the native intro on a 1024 x 768 virtual display: start-up time to
# the first presented frame and frames per second.
#   bench/scene/measure_intro.sh build [seconds]
set -eu
build=$1
seconds=${2:-10}
tmp=$(mktemp -d)
trap 'kill $xvfb 2>/dev/null; rm -rf "$tmp"' EXIT
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$tmp/display" 2>/dev/null &
xvfb=$!
for _ in $(seq 100); do [ -s "$tmp/display" ] && break; sleep 0.1; done
export DISPLAY=:$(head -n1 "$tmp/display")
LD_PRELOAD="$build/bench/scene/libswap_counter.so" "$build/intro" &
pid=$!
sleep "$seconds"
xdotool keydown Escape
sleep 0.5
xdotool keyup Escape
wait $pid
