#!/usr/bin/env bash
# What linking the installed player adds to a static, stripped, size-optimised
# 32-bit Windows program: one that calls every function of the public
# interface, against the same program calling none.
# Usage: bench/player-size.sh WIN32_PREFIX   (from cmake --install build-win32)
set -euo pipefail
prefix=$(realpath "$1")
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cat >"$tmp/bare.c" <<'C'
int main(int argc, char** argv) { (void)argv; return argc > 5; }
C
cat >"$tmp/player.c" <<'C'
#include <introplayer.h>
int main(int argc, char** argv) {
    PlayerSongInfo info;
    PlayerPosition position;
    PlayerChannel channel;
    uint32_t strikes, lastMs;
    int16_t frames[2];
    if (argc > 5) return 1;
    setPlayOnce(argc > 2);
    registerModuleResource("TUNE", argv, 4);
    if (renderOpen(argv[0], 0, PlayerSourceFile)) {
        renderFrames(frames, 1);
        renderCameBack();
        seekPosition(1, 0);
        setChannelMute(1, 1);
        setChannelSolo(2, 1);
        getPosition(&position);
        getChannel(0, &channel);
        getInstrumentStrikes(1, &strikes, &lastMs);
        getSongInfo(&info);
        getInstrumentName(0);
        renderClose();
    }
    if (playModule(argv[0], 0, PlayerSourceFile)) {
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
flags=(-std=c99 -Os -s -static -ffunction-sections -fdata-sections -Wl,--gc-sections -msse2 -mfpmath=sse)
i686-w64-mingw32-gcc "${flags[@]}" -o "$tmp/bare.exe" "$tmp/bare.c"
i686-w64-mingw32-gcc "${flags[@]}" -I"$prefix/include" -o "$tmp/player.exe" "$tmp/player.c" \
    -L"$prefix/lib" -lintroplayer -lwinmm
bare=$(stat -c %s "$tmp/bare.exe")
with=$(stat -c %s "$tmp/player.exe")
echo "the player adds $((with - bare)) bytes to a static, stripped, -Os i686 program ($bare -> $with)"
