#!/usr/bin/env bash
# The player as a program outside this repository sees it: installs each
# build into a prefix of its own, builds examples/play.c against it as a
# separate project (CMake package) and on its own (pkg-config), natively and
# cross-built for Windows, and checks that each renders a module to the very
# bytes of the native `xmtool render`; the Windows examples run under Wine.
# Last, what the player adds to a small static i686 program.
# Usage: tests/install/check.sh NATIVE_BUILD WIN32_BUILD
set -u
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
native=$(realpath "$1")
windows=$(realpath "$2")
tmp=$(mktemp -d)
. "$root/tests/wine/common.sh"
cleanup() { cleanupWine; rm -rf "$tmp"; }
trap cleanup EXIT
needTools cmake:cmake pkg-config:pkg-config cc:gcc i686-w64-mingw32-gcc:gcc-mingw-w64-i686 wine:wine Xvfb:xvfb

cmake --install "$native" --prefix "$tmp/native" >/dev/null || fail "native install failed"
cmake --install "$windows" --prefix "$tmp/win32" >/dev/null || fail "Windows install failed"
for prefix in native win32; do
    for file in include/introplayer.h lib/libintroplayer.a lib/cmake/IntroPlayer/IntroPlayerConfig.cmake \
                lib/pkgconfig/introplayer.pc; do
        [ -f "$tmp/$prefix/$file" ] || fail "$prefix install lacks $file"
    done
done
[ -x "$tmp/native/bin/xmtool" ] && [ -f "$tmp/win32/bin/xmtool.exe" ] || fail "xmtool is not installed"

# The example, four ways.
cmake -S "$root/examples" -B "$tmp/example" -DCMAKE_PREFIX_PATH="$tmp/native" >/dev/null &&
    cmake --build "$tmp/example" >/dev/null || fail "the example does not build against the native package"
cmake -S "$root/examples" -B "$tmp/example-win32" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/i686-w64-mingw32.cmake" -DCMAKE_PREFIX_PATH="$tmp/win32" >/dev/null &&
    cmake --build "$tmp/example-win32" >/dev/null || fail "the example does not cross-build against the Windows package"
# shellcheck disable=SC2046
cc -std=c99 -Wall -o "$tmp/play-pc" "$root/examples/play.c" \
    $(PKG_CONFIG_PATH="$tmp/native/lib/pkgconfig" pkg-config --cflags --libs introplayer) ||
    fail "the example does not build with pkg-config"
# shellcheck disable=SC2046
i686-w64-mingw32-gcc -std=c99 -Wall -static -o "$tmp/play-pc.exe" "$root/examples/play.c" \
    $(PKG_CONFIG_PATH="$tmp/win32/lib/pkgconfig" PKG_CONFIG_LIBDIR= pkg-config --cflags --libs introplayer) ||
    fail "the example does not cross-build with pkg-config"
note "examples built: CMake package and pkg-config, native and Windows"

python3 "$root/bench/make-module.py" "$tmp/generated.xm" --orders 2 >/dev/null
cp "$root/assets/tune.xm" "$tmp/tune.xm"
startDisplay
makePrefix "$tmp/prefix"
for song in tune generated; do
    "$native/tools/xmtool/xmtool" render "$tmp/$song.xm" "$tmp/$song.xmtool.wav" 2>/dev/null ||
        fail "xmtool render of $song failed"
    "$tmp/example/play" -o "$tmp/$song.cmake.wav" "$tmp/$song.xm" || fail "the example failed on $song"
    "$tmp/play-pc" -o "$tmp/$song.pc.wav" "$tmp/$song.xm" || fail "the pkg-config example failed on $song"
    (cd "$tmp" && timeout 120 wine "$tmp/example-win32/play.exe" -o "$song.win32.wav" "$song.xm" >/dev/null 2>&1) ||
        fail "play.exe failed on $song under Wine"
    (cd "$tmp" && timeout 120 wine "$tmp/play-pc.exe" -o "$song.win32pc.wav" "$song.xm" >/dev/null 2>&1) ||
        fail "play-pc.exe failed on $song under Wine"
    for way in cmake pc win32 win32pc; do
        cmp "$tmp/$song.xmtool.wav" "$tmp/$song.$way.wav" || fail "the $way example renders $song differently"
    done
    note "$song: the four examples render the bytes of xmtool render ($(stat -c %s "$tmp/$song.xmtool.wav") bytes)"
done
cleanupWine

"$root/bench/player-size.sh" "$tmp/win32"
