#!/usr/bin/env bash
# The size profile as a program outside this repository sees it: each build
# made with -DINTROPLAYER_SIZE=ON (native, 32-bit and 64-bit Windows) is
# installed into a prefix of its own, and a program that starts and stops a
# song builds against it through the CMake package and through pkg-config
# (both carry the switches and the link-time options); natively it plays the
# tune on SDL's dummy device. Each library exports its header's functions and
# nothing else. Last, what the default build and the profile add to a small
# static i686 program.
# Usage: tests/install/size.sh DEFAULT_I686_BUILD SIZE_NATIVE_BUILD SIZE_WINDOWS_BUILD...
set -u
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
default=$(realpath "$1")
shift
tmp=$(mktemp -d)
. "$root/tests/wine/common.sh"
trap 'rm -rf "$tmp"' EXIT
needTools cmake:cmake pkg-config:pkg-config cc:gcc

for build in "$@"; do
    build=$(realpath "$build")
    name=$(basename "$build")
    cmake --install "$build" --prefix "$tmp/$name" >/dev/null || fail "install of $build failed"
    grep -q -- "-flto" "$tmp/$name/lib/pkgconfig/introplayer.pc" || fail "$name: pkg-config does not ask for -flto"
    toolchain=$(sed -n 's/^CMAKE_TOOLCHAIN_FILE:[A-Z]*=//p' "$build/CMakeCache.txt")
    if [ -z "$toolchain" ]; then
        compiler=cc
        extra=()
    else
        case $toolchain in /*) ;; *) toolchain=$root/$toolchain ;; esac
        compiler=$(basename "$toolchain" .cmake)-gcc
        extra=(-DCMAKE_TOOLCHAIN_FILE="$toolchain")
    fi
    nm=gcc-nm   # reads the link-time objects
    [ -z "$toolchain" ] || nm=${compiler%-gcc}-gcc-nm
    symbols=$("$root/tools/check-symbols.sh" "$tmp/$name/lib/libintroplayer.a" "$tmp/$name/include/introplayer.h" \
        "$nm" 2>&1) || fail "$name: $(grep -A4 FAIL <<<"$symbols")"
    cmake -S "$here/start_stop" -B "$tmp/cmake-$name" -DCMAKE_BUILD_TYPE=Release "${extra[@]}" \
        -DCMAKE_PREFIX_PATH="$tmp/$name" >/dev/null && cmake --build "$tmp/cmake-$name" >/dev/null ||
        fail "$name: the start-and-stop program does not build against the CMake package"
    static=()
    pcflags=$(PKG_CONFIG_PATH="$tmp/$name/lib/pkgconfig" pkg-config --cflags --libs introplayer)
    if [ -n "$toolchain" ]; then   # nothing of the build machine's own
        static=(-static)
        pcflags=$(PKG_CONFIG_PATH="$tmp/$name/lib/pkgconfig" PKG_CONFIG_LIBDIR= pkg-config --cflags --libs introplayer)
    fi
    # shellcheck disable=SC2086
    "$compiler" -std=c99 -Os "${static[@]}" -o "$tmp/pc-$name" "$here/start_stop/start_stop.c" $pcflags ||
        fail "$name: the start-and-stop program does not build with pkg-config"
    if [ -z "$toolchain" ]; then
        for exe in "$tmp/cmake-$name/start_stop" "$tmp/pc-$name"; do
            SDL_AUDIODRIVER=dummy timeout 30 "$exe" "$root/assets/tune.xm" || fail "$exe does not play the tune"
        done
    fi
    note "$name: the size profile builds through CMake and pkg-config${toolchain:+ (cross)}"
done

cmake --install "$default" --prefix "$tmp/default-i686" >/dev/null || fail "install of $default failed"
sizes=("$tmp/default-i686")
for build in "$@"; do
    grep -q "i686" "$build/CMakeCache.txt" && sizes+=("$tmp/$(basename "$build")")
done
"$root/bench/player-size.sh" "${sizes[@]}"
