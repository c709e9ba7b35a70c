#!/usr/bin/env bash
# What linking the installed player adds to a static, stripped, size-optimised
# 32-bit Windows program, raw, compressed with xz -9e and packed with upx
# --ultra-brute, against the same program without the player. Two programs:
# one that calls every function the build declares, and one that only starts
# and stops a song, linked without a relocation table, its source kind read
# at run time (a constant would let the linker drop the loader's other
# sources). Each PREFIX is an install of a 32-bit build (cmake --install
# build-win32 --prefix PREFIX), the default build or the size profile.
# upx comes from the system, or is fetched once from Debian's
# bookworm-backports (apt-get download, unpacked, not installed) into
# ~/.cache/introplayer-upx; without it that column says "-".
# Usage: bench/player-size.sh PREFIX [PREFIX...]
set -euo pipefail
[ $# -ge 1 ] || { echo "usage: $0 PREFIX [PREFIX...]" >&2; exit 2; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

upx=$(command -v upx || command -v upx-ucl || true)
cache=${XDG_CACHE_HOME:-$HOME/.cache}/introplayer-upx
if [ -z "$upx" ] && [ ! -x "$cache/usr/bin/upx-ucl" ]; then
    mkdir -p "$cache/lists/partial" "$cache/archives/partial"
    echo "deb http://deb.debian.org/debian bookworm-backports main" >"$cache/sources.list"
    apt=(-qq -o Dir::Etc::SourceList="$cache/sources.list" -o Dir::Etc::SourceParts=/dev/null
         -o Dir::State::Lists="$cache/lists" -o Dir::Cache="$cache")
    (cd "$cache" && apt-get "${apt[@]}" update && apt-get "${apt[@]}" download upx-ucl &&
     dpkg-deb -x upx-ucl_*.deb "$cache") >/dev/null 2>&1 || echo "(upx could not be fetched)" >&2
fi
[ -z "$upx" ] && [ -x "$cache/usr/bin/upx-ucl" ] && upx=$cache/usr/bin/upx-ucl

cat >"$tmp/bare.c" <<'C'
int main(int argc, char** argv) { (void)argv; return argc > 5; }
C
cat >"$tmp/start_stop.c" <<'C'
#include <introplayer.h>
int main(int argc, char** argv) {
    if (argc > 5) return 1;
    if (playModule(argv[0], 0, argc)) stopPlayback();
    return 0;
}
C
cat >"$tmp/every_call.c" <<'C'
#include <introplayer.h>
int main(int argc, char** argv) {
    if (argc > 5) return 1;
#if INTROPLAYER_END_WATCH
    setPlayOnce(argc > 2);
#endif
#if INTROPLAYER_NAMED_RESOURCES
    registerModuleResource("TUNE", argv, 4);
#endif
#if INTROPLAYER_OFFLINE
    int16_t frames[2];
    if (renderOpen(argv[0], 0, argc)) {
        renderFrames(frames, 1);
#if INTROPLAYER_END_WATCH
        renderCameBack();
#endif
        renderClose();
    }
#endif
#if INTROPLAYER_SEEK
    seekPosition(1, 0);
    setChannelMute(1, 1);
    setChannelSolo(2, 1);
#endif
#if INTROPLAYER_FOLLOW
    PlayerSongInfo info;
    PlayerPosition position;
    PlayerChannel channel;
    uint32_t strikes, lastMs;
    getPosition(&position);
    getChannel(0, &channel);
    getInstrumentStrikes(1, &strikes, &lastMs);
    getSongInfo(&info);
    getInstrumentName(0);
#endif
    if (playModule(argv[0], 0, argc)) {
        setMasterVolume(32);
        pausePlayback();
        resumePlayback();
        getLevels();
        getPlayTime();
        getSongTitle();
        stopPlayback();
    }
    return getLoadError()[0] != 0;
}
C

flags=(-std=c99 -Os -s -static -ffunction-sections -Wl,--gc-sections -msse2 -mfpmath=sse)
xzBytes() { xz -9e -c "$1" | wc -c; }
upxBytes() {
    [ -n "$upx" ] || { echo -; return; }
    cp "$1" "$1.upx.exe"
    "$upx" -qq --ultra-brute "$1.upx.exe" >/dev/null 2>&1 && stat -c %s "$1.upx.exe" || echo -
}
added() { [ "$1" = - ] || [ "$2" = - ] && echo - || echo $(($2 - $1)); }
# One row: the program built against PREFIX, less the bare program.
measure() {
    local prefix=$1 program=$2 label=$3 extra=$4
    local pc=$prefix/lib/pkgconfig/introplayer.pc
    local cflags libs
    cflags=$(sed -n 's/^Cflags: -I${includedir}//p' "$pc")
    libs=$(sed -n 's/^Libs: -L${libdir}//p' "$pc")
    # shellcheck disable=SC2086
    i686-w64-mingw32-gcc "${flags[@]}" $extra -o "$tmp/bare.exe" "$tmp/bare.c"
    # shellcheck disable=SC2086
    i686-w64-mingw32-gcc "${flags[@]}" $extra -I"$prefix/include" $cflags -o "$tmp/$program.exe" \
        "$tmp/$program.c" -L"$prefix/lib" $libs
    printf '| %s | %s | %s | %s | %s |\n' "$label" "$program" \
        "$(added "$(stat -c %s "$tmp/bare.exe")" "$(stat -c %s "$tmp/$program.exe")")" \
        "$(added "$(xzBytes "$tmp/bare.exe")" "$(xzBytes "$tmp/$program.exe")")" \
        "$(added "$(upxBytes "$tmp/bare.exe")" "$(upxBytes "$tmp/$program.exe")")"
}

echo "| build | program | raw | xz -9e | upx --ultra-brute |"
echo "|---|---|---|---|---|"
for prefix in "$@"; do
    prefix=$(realpath "$prefix")
    label=$(sed -n 's/^Cflags: -I${includedir}//p' "$prefix/lib/pkgconfig/introplayer.pc" |
            sed 's/-DINTROPLAYER_//g; s/=0//g; s/^ *//; s/ /, /g')
    label="${label:-every switch on}"
    [ "$label" = "every switch on" ] || label="without $label"
    measure "$prefix" every_call "$label" ""
    measure "$prefix" start_stop "$label" "-Wl,--disable-reloc-section"
done
