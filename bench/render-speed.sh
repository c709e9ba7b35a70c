#!/usr/bin/env bash
# Render speed of our xmtool render against openmpt123 and xmp on the same
# modules, one core each (taskset), linear interpolation, 44,100 Hz 16-bit
# stereo WAV written to a file. Prints a Markdown table: seconds of audio,
# best wall time and best CPU time (user + system) of N runs, times real time
# from each, and peak memory.
#
# Usage: bench/render-speed.sh [-n RUNS] [-x XMTOOL] MODULE.xm...
#   Without modules, renders bench/make-module.py's 16- and 32-channel modules.
#   XMTOOL defaults to build/tools/xmtool/xmtool.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=5
xmtool=build/tools/xmtool/xmtool
while getopts "n:x:" opt; do
  case $opt in
    n) runs=$OPTARG ;;
    x) xmtool=$OPTARG ;;
    *) echo "usage: $0 [-n RUNS] [-x XMTOOL] MODULE.xm..." >&2; exit 2 ;;
  esac
done
shift $((OPTIND - 1))

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
modules=("$@")
if [ ${#modules[@]} -eq 0 ]; then
  python3 bench/make-module.py "$tmp/bench16.xm" --channels 16 --orders 48
  python3 bench/make-module.py "$tmp/bench32.xm" --channels 32 --orders 48 --seed 2
  modules=("$tmp/bench16.xm" "$tmp/bench32.xm")
fi

# Runs "$@" once on core 0; prints "wall cpu peakKB".
measure() {
  /usr/bin/time -f "%e %U %S %M" -o "$tmp/time" taskset -c 0 "$@" >/dev/null 2>&1 || {
    echo "failed: $*" >&2
    return 1
  }
  awk '{ printf "%s %.3f %s\n", $1, $2 + $3, $4 }' "$tmp/time"
}

# Best of N runs; prints "wall cpu peakKB".
best() {
  local bestWall="" bestCpu="" peak=0 line wall cpu kb
  for _ in $(seq "$runs"); do
    line=$(measure "$@") || return 1
    read -r wall cpu kb <<<"$line"
    if [ -z "$bestWall" ] || awk "BEGIN { exit !($wall < $bestWall) }"; then bestWall=$wall; fi
    if [ -z "$bestCpu" ] || awk "BEGIN { exit !($cpu < $bestCpu) }"; then bestCpu=$cpu; fi
    [ "$kb" -gt "$peak" ] && peak=$kb
  done
  echo "$bestWall $bestCpu $peak"
}

seconds() {   # audio seconds of a 16-bit stereo 44,100 Hz WAV
  local bytes
  bytes=$(stat -c %s "$1")
  awk "BEGIN { printf \"%.2f\", ($bytes - 44) / 176400 }"
}

row() {   # module renderer audioSeconds "wall cpu peak"
  local wall cpu kb
  read -r wall cpu kb <<<"$4"
  awk -v m="$1" -v r="$2" -v a="$3" -v w="$wall" -v c="$cpu" -v k="$kb" 'BEGIN {
    ws = w > 0 ? a / w : 0; cs = c > 0 ? a / c : 0;
    printf "| %s | %s | %.1f | %.3f | %.0fx | %.3f | %.0fx | %.1f MiB |\n", m, r, a, w, ws, c, cs, k / 1024 }'
}

echo "| module | renderer | audio s | wall s | x real time | CPU s | x real time (CPU) | peak memory |"
echo "|---|---|---|---|---|---|---|---|"
for module in "${modules[@]}"; do
  name=$(basename "$module")
  if [ -x "$xmtool" ]; then
    result=$(best "$xmtool" render "$module" "$tmp/ours.wav") &&
      row "$name" "xmtool render" "$(seconds "$tmp/ours.wav")" "$result"
  fi
  if command -v openmpt123 >/dev/null; then
    cp "$module" "$tmp/m.xm"
    result=$(best openmpt123 --render --no-float --filter 2 --samplerate 44100 --force "$tmp/m.xm") &&
      row "$name" "openmpt123 --filter 2" "$(seconds "$tmp/m.xm.wav")" "$result"
  fi
  if command -v xmp >/dev/null; then
    result=$(best xmp -q -i linear -f 44100 -o "$tmp/xmp.wav" "$module") &&
      row "$name" "xmp -i linear" "$(seconds "$tmp/xmp.wav")" "$result"
  fi
done
