#!/usr/bin/env bash
# The size profile plays every song it can as the default build does, byte
# for byte: the survey's random modules (every effect, with key-offs,
# instrument numbers and envelopes) and the embedded tune, each rendered by
# both builds of render_raw.
# Usage: same_sound.sh RENDER_DEFAULT RENDER_SIZE DIVERGENCE TUNE.xm
set -euo pipefail
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
"$3" --write "$tmp" --modules 3 --rows 32
cp "$4" "$tmp/tune.xm"
count=0
for module in "$tmp"/*.xm; do
    seconds=20
    [ "$module" = "$tmp/tune.xm" ] && seconds=200
    "$1" "$module" "$tmp/default.raw" $seconds
    "$2" "$module" "$tmp/size.raw" $seconds
    if ! cmp -s "$tmp/default.raw" "$tmp/size.raw"; then
        echo "FAIL: $(basename "$module") sounds different in the size profile" >&2
        exit 1
    fi
    count=$((count + 1))
done
echo "$count modules: the size profile's renders equal the default build's byte for byte"
