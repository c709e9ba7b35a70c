#!/usr/bin/env bash
# The player as a program outside this repository sees it: installs each
# build into a prefix of its own, builds examples/play.c against it as a
# separate project (CMake package) and on its own (pkg-config), natively and
# cross-built for each Windows build (32-bit, 64-bit), and checks that each
# renders a module to the very bytes of the native `xmtool render`; the
# Windows examples run under Wine where this machine can run them. Each
# library must export its header's functions and nothing else of its own.
# Last, what the player adds to a small static i686 program.
# Usage: tests/install/check.sh NATIVE_BUILD WINDOWS_BUILD...
set -u
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
native=$(realpath "$1")
shift
tmp=$(mktemp -d)
. "$root/tests/wine/common.sh"
cleanup() { cleanupWine; rm -rf "$tmp"; }
trap cleanup EXIT
needTools cmake:cmake pkg-config:pkg-config cc:gcc wine:wine Xvfb:xvfb file:file

cmake --install "$native" --prefix "$tmp/native" >/dev/null || fail "native install failed"
archs=()
for build in "$@"; do
    cmake --install "$build" --prefix "$tmp/install" >/dev/null || fail "install of $build failed"
    [ -f "$tmp/install/bin/xmtool.exe" ] || fail "$build installs no xmtool.exe"
    arch=$(exeArch "$tmp/install/bin/xmtool.exe")
    mv "$tmp/install" "$tmp/$arch"
    archs+=("$arch")
done
for prefix in native "${archs[@]}"; do
    for file in include/introplayer.h lib/libintroplayer.a lib/cmake/IntroPlayer/IntroPlayerConfig.cmake \
                lib/pkgconfig/introplayer.pc; do
        [ -f "$tmp/$prefix/$file" ] || fail "$prefix install lacks $file"
    done
done
[ -x "$tmp/native/bin/xmtool" ] || fail "xmtool is not installed"
for prefix in native "${archs[@]}"; do
    nm=nm
    [ "$prefix" = native ] || nm=$prefix-w64-mingw32-nm
    "$root/tools/check-symbols.sh" "$tmp/$prefix/lib/libintroplayer.a" "$tmp/$prefix/include/introplayer.h" "$nm" ||
        fail "the $prefix library exports names of its own"
done

# The example, two ways for each build.
cmake -S "$root/examples" -B "$tmp/example" -DCMAKE_PREFIX_PATH="$tmp/native" >/dev/null &&
    cmake --build "$tmp/example" >/dev/null || fail "the example does not build against the native package"
# shellcheck disable=SC2046
cc -std=c99 -Wall -o "$tmp/play-pc" "$root/examples/play.c" \
    $(PKG_CONFIG_PATH="$tmp/native/lib/pkgconfig" pkg-config --cflags --libs introplayer) ||
    fail "the example does not build with pkg-config"
for arch in "${archs[@]}"; do
    cmake -S "$root/examples" -B "$tmp/example-$arch" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$arch-w64-mingw32.cmake" -DCMAKE_PREFIX_PATH="$tmp/$arch" >/dev/null &&
        cmake --build "$tmp/example-$arch" >/dev/null ||
        fail "the example does not cross-build against the $arch Windows package"
    # shellcheck disable=SC2046
    "$arch-w64-mingw32-gcc" -std=c99 -Wall -static -o "$tmp/play-pc-$arch.exe" "$root/examples/play.c" \
        $(PKG_CONFIG_PATH="$tmp/$arch/lib/pkgconfig" PKG_CONFIG_LIBDIR= pkg-config --cflags --libs introplayer) ||
        fail "the example does not cross-build for $arch with pkg-config"
done
note "examples built: CMake package and pkg-config, native and Windows (${archs[*]})"

python3 "$root/bench/make-module.py" "$tmp/generated.xm" --orders 2 >/dev/null
cp "$root/assets/tune.xm" "$tmp/tune.xm"
for song in tune generated; do
    "$native/tools/xmtool/xmtool" render "$tmp/$song.xm" "$tmp/$song.xmtool.wav" 2>/dev/null ||
        fail "xmtool render of $song failed"
    "$tmp/example/play" -o "$tmp/$song.cmake.wav" "$tmp/$song.xm" || fail "the example failed on $song"
    "$tmp/play-pc" -o "$tmp/$song.pc.wav" "$tmp/$song.xm" || fail "the pkg-config example failed on $song"
    for way in cmake pc; do
        cmp "$tmp/$song.xmtool.wav" "$tmp/$song.$way.wav" || fail "the $way example renders $song differently"
    done
done
note "the native examples render the bytes of xmtool render"

startDisplay
for arch in "${archs[@]}"; do
    if ! canRunArch "$arch"; then
        note "the $arch examples are built, not run ($WINE_32BIT_WHY)"
        continue
    fi
    useWineFor "$arch"
    makePrefix "$tmp/prefix-$arch"
    for song in tune generated; do
        for exe in "example-$arch/play.exe" "play-pc-$arch.exe"; do
            (cd "$tmp" && timeout 120 "$WINE" "$tmp/$exe" -o "$song.run.wav" "$song.xm" >/dev/null 2>&1) ||
                fail "$exe failed on $song under Wine"
            cmp "$tmp/$song.xmtool.wav" "$tmp/$song.run.wav" || fail "$exe renders $song differently"
        done
    done
    note "$arch: both examples render the bytes of xmtool render under $WINE"
    wineserver -k 2>/dev/null
    rm -rf "$tmp/prefix-$arch"
done
cleanupWine

if [ -d "$tmp/i686" ]; then "$root/bench/player-size.sh" "$tmp/i686"; fi
