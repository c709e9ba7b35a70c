// xmtool info FILE.xm: the facts of the song header as the loader sees them,
// the song's duration (one pass, measured without mixing) and the
// instruments' names.
#include <cstdio>

#include "introplayer.h"
#include "xmtool.h"

namespace {

constexpr uint32_t Rate = 44100;                       // frames per second
constexpr uint32_t LongestMeasured = 3600u * Rate;     // an hour of song

}  // namespace

int infoCommand(int argc, char** argv) {
    if (argc != 1) {
        std::fprintf(stderr, "usage: xmtool info FILE.xm\n");
        return 2;
    }
    if (!loadSongFile(argv[0])) return 1;
    PlayerSongInfo info = {};
    getSongInfo(&info);
    std::printf("title: %s\n", getSongTitle());
    std::printf("channels: %u\n", info.channels);
    std::printf("patterns: %u\n", info.patterns);
    std::printf("instruments: %u\n", info.instruments);
    std::printf("samples: %u\n", info.samples);
    std::printf("frequency table: %s\n", info.linearFrequencies ? "linear" : "amiga");
    std::printf("speed: %u\n", info.speed);
    std::printf("tempo: %u\n", info.tempo);
    std::printf("song length: %u\n", info.songLength);
    std::printf("restart: %u\n", info.restart);

    // Until the song comes back to a row it has played: the ticks only, in
    // steps of about a second.
    uint32_t frames = 0;
    while (renderCameBack() == 0 && frames < LongestMeasured) frames += renderFrames(nullptr, Rate);
    const uint32_t length = renderCameBack();
    const uint64_t ms = (uint64_t(length ? length : frames) * 1000 + Rate / 2) / Rate;
    std::printf("duration: %s%u:%02u.%03u\n", length ? "" : "more than ", unsigned(ms / 60000),
                unsigned(ms / 1000 % 60), unsigned(ms % 1000));
    for (uint32_t i = 0; i < info.instruments; i++) {
        const char* name = getInstrumentName(i);
        std::printf("instrument %u:%s%s\n", i + 1, name[0] ? " " : "", name);
    }
    renderClose();
    return 0;
}
