#!/usr/bin/env bash
# Runs a Windows build under Wine (the 32-bit one under `wine`, the 64-bit one
# under wine64; which it is, is read from its executables):
#   - the cross-built unit tests of the player and the scene (the scene's on
#     a WGL context in a window of the virtual display), and the program that
#     plays a module from a resource, from memory and from a file;
#   - xmtool.exe render against the native xmtool render, byte for byte, for
#     the embedded tune and two generated modules;
#   - the intro end to end (intro.sh).
# Usage: tests/wine/run.sh NATIVE_BUILD WIN32_BUILD [WIN32_TEST_BUILD]
set -u
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
native=$(realpath "$1")
windows=$(realpath "$2")
testBuild=$(realpath "${3:-}" 2>/dev/null || true)
tmp=$(mktemp -d)
. "$here/common.sh"
cleanup() { cleanupWine; rm -rf "$tmp"; }
trap cleanup EXIT

needTools wine:wine wineserver:wine Xvfb:xvfb python3:python3 cmp:diffutils file:file
xmtool=$native/tools/xmtool/xmtool
xmtoolExe=$windows/tools/xmtool/xmtool.exe
[ -x "$xmtool" ] || fail "no native xmtool in $native (build it first)"
[ -f "$xmtoolExe" ] || fail "no xmtool.exe in $windows (build the Windows target first)"
arch=$(exeArch "$xmtoolExe")
canRunArch "$arch" || fail "this machine cannot run the $arch build in $windows"
useWineFor "$arch"
note "the $arch Windows build, under $WINE"

elapsed() { echo "$(( ($(date +%s%N) - $1) / 1000000 )) ms"; }

# One prefix for the programs that open no window. The sound device of the
# player test is ALSA's null device: no clock, so its song time runs fast.
t0=$(date +%s%N)
startDisplay
makePrefix "$tmp/prefix"
printf 'pcm.!default { type null }\n' >"$tmp/asound.conf"
export ALSA_CONFIG_PATH=$tmp/asound.conf
note "fresh Wine prefix: $(elapsed "$t0")"

if [ -n "$testBuild" ]; then
    for exe in player_tests_win32 scene_tests_win32 win32_sources_test; do
        t0=$(date +%s%N)
        program=$testBuild/tests/win32/$exe.exe
        [ -f "$program" ] || fail "no $program (build the target win32_tests first)"
        [ "$(exeArch "$program")" = "$arch" ] || fail "$program is not built for $arch"
        if ! (cd "$tmp" && timeout 600 "$WINE" "$program" --gtest_brief=1 >"$tmp/$exe.log" 2>&1); then
            tr -d '\r' <"$tmp/$exe.log" | grep -v '^\[ *OK' | tail -n 40
            fail "$exe failed under Wine"
        fi
        note "$exe: $(tr -d '\r' <"$tmp/$exe.log" | grep -E '^\[  PASSED' | head -n1) ($(elapsed "$t0"))"
    done
fi

# The same bytes from both builds.
t0=$(date +%s%N)
python3 "$root/bench/make-module.py" "$tmp/generated1.xm" --orders 4 >/dev/null
python3 "$root/bench/make-module.py" "$tmp/generated2.xm" --orders 4 --channels 32 --seed 7 >/dev/null
cp "$root/assets/tune.xm" "$tmp/tune.xm"
for song in tune generated1 generated2; do
    "$xmtool" render "$tmp/$song.xm" "$tmp/$song.native.wav" 2>/dev/null || fail "native render of $song failed"
    (cd "$tmp" && timeout 120 "$WINE" "$xmtoolExe" render "$song.xm" "$song.windows.wav" >/dev/null 2>&1) \
        || fail "xmtool.exe render of $song failed"
    cmp "$tmp/$song.native.wav" "$tmp/$song.windows.wav" \
        || fail "xmtool.exe renders $song differently from the native build"
    note "xmtool.exe render of $song equals the native render: $(stat -c %s "$tmp/$song.native.wav") bytes"
done
note "renders compared in $(elapsed "$t0")"
cleanupWine

"$here/intro.sh" "$windows/intro.exe" "$xmtool" "$root/assets/tune.xm"
