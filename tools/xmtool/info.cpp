// xmtool info FILE.xm: the facts of the song header as the loader sees them.
#include <cstdio>

#include "module.h"
#include "xmtool.h"

int infoCommand(int argc, char** argv) {
    if (argc != 1) {
        std::fprintf(stderr, "usage: xmtool info FILE.xm\n");
        return 2;
    }
    if (!loadSongFile(argv[0])) return 1;
    uint32_t samples = 0;
    for (uint32_t i = 0; i < song.instrumentCount; i++) samples += song.instrumentTable[i].sampleCount;
    std::printf("title: %s\n", songTitle);
    std::printf("channels: %d\n", (int)song.channelCount);
    std::printf("patterns: %u\n", (unsigned)song.patternSlotCount);
    std::printf("instruments: %u\n", (unsigned)song.instrumentCount);
    std::printf("samples: %u\n", (unsigned)samples);
    std::printf("frequency table: %s\n", (song.flags & 1) ? "linear" : "amiga");
    std::printf("speed: %u\n", (unsigned)song.defaultSpeed);
    std::printf("tempo: %u\n", (unsigned)song.defaultTempo);
    std::printf("song length: %u\n", (unsigned)song.songLength);
    std::printf("restart: %u\n", (unsigned)song.restartPosition);
    return 0;
}
