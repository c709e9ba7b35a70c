#!/usr/bin/env bash
# Runs the player fingerprint of the native build and of the Windows build
# (under Wine) and fails unless they print the same lines.
# Usage: bench/compare-builds.sh [NATIVE_BUILD_DIR] [WIN32_BUILD_DIR]
set -euo pipefail
native=${1:-build}/bench/player_fingerprint
windows=${2:-build-win32}/bench/player_fingerprint.exe
tmp=$(mktemp -d)
export WINEPREFIX="$tmp/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=d"
trap 'wineserver -k 2>/dev/null || true; rm -rf "$tmp"' EXIT
"$native" >"$tmp/native"
wine "$windows" 2>"$tmp/wine.log" | tr -d '\r' >"$tmp/windows"
if diff -u "$tmp/native" "$tmp/windows"; then
  echo "native and Windows builds agree:"
  cat "$tmp/native"
else
  echo "native and Windows builds differ" >&2
  exit 1
fi
