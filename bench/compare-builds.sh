#!/usr/bin/env bash
# Checks that the native and a Windows build (32- or 64-bit) compute the same
# bits: runs the player fingerprint of both (the Windows one under Wine) and,
# when both builds have xmtool, renders a generated module with each and
# compares the WAV files byte for byte.
# Usage: bench/compare-builds.sh [NATIVE_BUILD_DIR] [WINDOWS_BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
native=$(realpath "${1:-build}")
windows=$(realpath "${2:-build-win32}")
tmp=$(mktemp -d)
. tests/wine/common.sh
trap 'cleanupWine; rm -rf "$tmp"' EXIT
arch=$(exeArch "$windows/bench/player_fingerprint.exe")
canRunArch "$arch" || fail "this machine cannot run the $arch build in $windows"
useWineFor "$arch"
makePrefix "$tmp/prefix"

"$native/bench/player_fingerprint" >"$tmp/native"
"$WINE" "$windows/bench/player_fingerprint.exe" 2>"$tmp/wine.log" | tr -d '\r' >"$tmp/windows"
if ! diff -u "$tmp/native" "$tmp/windows"; then
  echo "native and Windows builds compute different fingerprints" >&2
  exit 1
fi
echo "fingerprints agree:"
cat "$tmp/native"

if [ -x "$native/tools/xmtool/xmtool" ] && [ -f "$windows/tools/xmtool/xmtool.exe" ]; then
  python3 bench/make-module.py "$tmp/song.xm" --orders 6
  "$native/tools/xmtool/xmtool" render "$tmp/song.xm" "$tmp/native.wav" 2>/dev/null
  (cd "$tmp" && "$WINE" "$windows/tools/xmtool/xmtool.exe" render song.xm windows.wav 2>>"$tmp/wine.log")
  if ! cmp "$tmp/native.wav" "$tmp/windows.wav"; then
    echo "native and Windows renders differ" >&2
    exit 1
  fi
  echo "renders agree: $(stat -c %s "$tmp/native.wav") bytes"
fi
