#!/usr/bin/env bash
# The player as a program outside this repository sees it: installs each
# build into a prefix of its own, builds the examples (examples/*.c) against
# it as a separate project (CMake package) and on their own (pkg-config),
# natively and cross-built for each Windows build (32-bit, 64-bit), and checks
# that play renders a module to the very bytes of the native `xmtool render`
# and that sync, playing a module in real time, prints the rows of its
# offline render; the Windows examples run under Wine where this machine can
# run them, sync through Wine's ALSA driver into a device paced as a real
# one. Each library must export its header's functions and nothing else of
# its own.
# Usage: tests/install/check.sh NATIVE_BUILD WINDOWS_BUILD...
set -u
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
native=$(realpath "$1")
shift
tmp=$(mktemp -d)
. "$root/tests/wine/common.sh"
readerPid=
cleanup() {
    [ -n "$readerPid" ] && kill "$readerPid" 2>/dev/null
    cleanupWine
    rm -rf "$tmp"
}
trap cleanup EXIT
needTools cmake:cmake pkg-config:pkg-config cc:gcc wine:wine Xvfb:xvfb file:file python3:python3

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

# The examples, two ways for each build.
cmake -S "$root/examples" -B "$tmp/example" -DCMAKE_PREFIX_PATH="$tmp/native" >/dev/null &&
    cmake --build "$tmp/example" >/dev/null || fail "the examples do not build against the native package"
for example in play sync; do
    # shellcheck disable=SC2046
    cc -std=c99 -Wall -o "$tmp/$example-pc" "$root/examples/$example.c" \
        $(PKG_CONFIG_PATH="$tmp/native/lib/pkgconfig" pkg-config --cflags --libs introplayer) ||
        fail "the $example example does not build with pkg-config"
done
for arch in "${archs[@]}"; do
    cmake -S "$root/examples" -B "$tmp/example-$arch" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$arch-w64-mingw32.cmake" -DCMAKE_PREFIX_PATH="$tmp/$arch" >/dev/null &&
        cmake --build "$tmp/example-$arch" >/dev/null ||
        fail "the examples do not cross-build against the $arch Windows package"
    for example in play sync; do
        # shellcheck disable=SC2046
        "$arch-w64-mingw32-gcc" -std=c99 -Wall -static -o "$tmp/$example-pc-$arch.exe" "$root/examples/$example.c" \
            $(PKG_CONFIG_PATH="$tmp/$arch/lib/pkgconfig" PKG_CONFIG_LIBDIR= pkg-config --cflags --libs introplayer) ||
            fail "the $example example does not cross-build for $arch with pkg-config"
    done
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

# sync: the rows heard, as the offline render has them. The generated song
# plays 2 orders of 64 rows once (15 s); SDL's dummy device keeps real time.
sameRows() {   # $1: what printed them, $2: their file
    tr -d '\r' <"$2" | diff "$tmp/sync.offline.txt" - >"$tmp/sync.diff" ||
        fail "$1 prints other rows than the offline render: $(head -n 6 "$tmp/sync.diff")"
}
"$tmp/example/sync" --offline "$tmp/generated.xm" >"$tmp/sync.offline.txt" || fail "sync --offline failed"
[ "$(grep -c '^order [01] row [0-9]*:' "$tmp/sync.offline.txt")" -eq 128 ] ||
    fail "sync --offline does not print a line for each of the song's 128 rows: $(head -n 3 "$tmp/sync.offline.txt")"
"$tmp/sync-pc" --offline "$tmp/generated.xm" >"$tmp/sync.pc.txt" || fail "the pkg-config sync failed"
sameRows "the pkg-config sync --offline" "$tmp/sync.pc.txt"
SDL_AUDIODRIVER=dummy timeout 60 "$tmp/example/sync" "$tmp/generated.xm" >"$tmp/sync.native.txt" ||
    fail "sync failed in real time on SDL's dummy device"
sameRows "sync in real time" "$tmp/sync.native.txt"
note "sync prints the rows of the offline render, in real time on SDL's dummy device"

# Under Wine, Wine's ALSA driver plays into a FIFO that is drained at the
# pace of a real device: a device without a clock runs several times faster
# than real time and leaves the player's ring stale.
printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Wine\\Drivers]\n"Audio"="alsa"\n' >"$tmp/alsa.reg"
mkfifo "$tmp/sound.fifo"
printf 'pcm.!default { type file slave.pcm { type null } file "%s" format "raw" }\n' "$tmp/sound.fifo" \
    >"$tmp/asound.conf"

startDisplay
for arch in "${archs[@]}"; do
    if ! canRunArch "$arch"; then
        note "the $arch examples are built, not run ($WINE_32BIT_WHY)"
        continue
    fi
    useWineFor "$arch"
    makePrefix "$tmp/prefix-$arch" "$tmp/alsa.reg"
    for song in tune generated; do
        for exe in "example-$arch/play.exe" "play-pc-$arch.exe"; do
            (cd "$tmp" && timeout 120 "$WINE" "$tmp/$exe" -o "$song.run.wav" "$song.xm" >/dev/null 2>&1) ||
                fail "$exe failed on $song under Wine"
            cmp "$tmp/$song.xmtool.wav" "$tmp/$song.run.wav" || fail "$exe renders $song differently"
        done
    done
    note "$arch: both examples render the bytes of xmtool render under $WINE"
    (cd "$tmp" && timeout 60 "$WINE" "$tmp/sync-pc-$arch.exe" --offline generated.xm >"sync.$arch.txt" 2>/dev/null) ||
        fail "sync-pc-$arch.exe --offline failed under Wine"
    sameRows "sync-pc-$arch.exe --offline" "$tmp/sync.$arch.txt"
    python3 "$root/tests/wine/pace_capture.py" "$tmp/sound.fifo" "$tmp/sound.raw" &
    readerPid=$!
    (cd "$tmp" && ALSA_CONFIG_PATH=$tmp/asound.conf timeout 60 "$WINE" "$tmp/example-$arch/sync.exe" generated.xm \
        >"sync.$arch.txt" 2>/dev/null) || fail "sync.exe failed in real time under Wine"
    kill "$readerPid" 2>/dev/null; readerPid=
    [ -s "$tmp/sound.raw" ] || fail "sync.exe sent no sound to the paced device"
    sameRows "sync.exe in real time under $WINE" "$tmp/sync.$arch.txt"
    note "$arch: sync.exe prints the rows of the offline render, in real time and offline"
    wineserver -k 2>/dev/null
    rm -rf "$tmp/prefix-$arch"
done
cleanupWine
