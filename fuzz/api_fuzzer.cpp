// The whole public interface under fuzzing: the input is a module and a
// program of calls, the misuse a program makes of them. After every
// read-out the header's value ranges are checked; a broken one aborts, so
// the fuzzer reports it. One call renders the module twice, mixed and
// skipped, and requires both to leave the song in the same place.
//
// Input: a 16-bit little-endian module length, the module's bytes, then the
// program: one byte a call, with its arguments after it.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "introplayer.h"
#include "module.h"
#include "sequencer.h"
#include "song.h"

using namespace introplayer;

namespace {

// Says which check broke, then stops for the fuzzer to report it.
void require(bool condition, int line = __builtin_LINE()) {
    if (condition) return;
    std::fprintf(stderr, "api_fuzzer: the check at line %d broke\n", line);
    std::abort();
}

struct Program {
    const uint8_t* at;
    const uint8_t* end;
    uint32_t byte() { return at < end ? *at++ : 0; }
    uint32_t word() { return byte() | byte() << 8; }
};

// Blocks given to registerModuleResource must outlive every later call,
// which here spans inputs: the module is copied into a block that stays.
uint8_t resourceBytes[65536];
const char* const resourceNames[] = {"tune", "TUNE", "Song", "x",
                                     "a name of sixty-three characters, which is the most a name has"};

int16_t frames[2 * 65536];

// What one input may render: enough for songs to loop and end, few enough
// to keep many inputs a second. Skipping costs by the tick, and a header
// may ask for ticks of one frame.
constexpr uint64_t MixBudget = 100000;
constexpr uint64_t SkipTicks = 20000;

struct Run {
    const uint8_t* module;
    uint32_t moduleLength;
    uint64_t mixed, skippedTicks;
    uint32_t lastTime;   // the song time never goes back within one open render
    bool open;
};

bool openModule(Run& run) {
    run.open = renderOpen(run.module, run.moduleLength, PlayerSourceMemory) != 0;
    run.lastTime = 0;
    return run.open;
}

void checkTime(Run& run) {
    const uint32_t time = getPlayTime();
    if (run.open) {
        require(time >= run.lastTime);
        run.lastTime = time;
    } else {
        require(time == 0 && getLevels() == 0);
    }
    const uint32_t levels = getLevels();
    require((levels >> 16) <= 32768 && (levels & 0xFFFF) <= 32768);
}

void checkPosition(const Run& run) {
    PlayerPosition at;
    std::memset(&at, 0xA5, sizeof at);
    const PlayerPosition untouched = at;
    if (!getPosition(&at)) {
        require(!run.open && std::memcmp(&at, &untouched, sizeof at) == 0);
        return;
    }
    require(run.open);
    PlayerSongInfo info;
    require(getSongInfo(&info) == 1);
    // A song of no orders plays entry 0; a pattern of no rows plays row 0.
    require(at.order < (info.songLength > 0 ? info.songLength : 1) && at.pattern == song.orderTable[at.order]);
    const uint32_t rows = patternAt(static_cast<int32_t>(at.order))->rowCount;
    require(at.row < (rows > 0 ? rows : 1) && at.globalVolume <= 64 && at.ended <= 1 && at.tempo <= 65535);
}

void checkChannel(const Run& run, uint32_t channel) {
    PlayerChannel ch;
    PlayerPosition at;
    std::memset(&ch, 0xA5, sizeof ch);
    const PlayerChannel untouched = ch;
    const int32_t got = getChannel(channel, &ch);
    if (!got) {
        require((!run.open || channel >= 32) && std::memcmp(&ch, &untouched, sizeof ch) == 0);
        return;
    }
    require(run.open && channel < 32 && getPosition(&at));
    require(ch.note <= 96 && ch.instrument <= 255 && ch.sample <= 16 && ch.volume <= 128 && ch.panning <= 255);
    require(ch.sounding <= 1 && ch.frequency < 256 * 44100 && ch.lastStrikeMs <= at.timeMs);
    require(ch.sounding == 0 || (ch.volume > 0 && ch.frequency > 0 && ch.instrument > 0));
    require(ch.strikes > 0 || ch.lastStrikeMs == 0);
}

void checkInstrument(const Run& run, uint32_t instrument) {
    uint32_t strikes = 0xA5A5A5A5, lastMs = 0xA5A5A5A5;
    if (!getInstrumentStrikes(instrument, &strikes, &lastMs)) {
        require((!run.open || instrument == 0 || instrument > 255) && strikes == 0xA5A5A5A5 && lastMs == 0xA5A5A5A5);
        return;
    }
    require(run.open && instrument >= 1 && instrument <= 255 && (strikes > 0 || lastMs == 0));
}

// Where the song stands inside, beyond what the read-outs say.
struct Place {
    int32_t order, row, tick, speed, globalVolume;
    uint32_t tempo, given;
    bool ended;
    uint64_t endFrame;
};

Place render(Run& run, bool mixed, uint32_t blocks, bool once) {
    setPlayOnce(once);
    Place place = {};
    if (!openModule(run))
        return place;
    for (uint32_t b = 0; b < blocks; ++b)
        place.given += renderFrames(mixed ? frames : nullptr, 1024);
    place = {song.orderPos, song.row, song.tick, song.speed, song.globalVolume, song.tempo, place.given,
             song.ended, song.ended ? endFrame() : 0};
    return place;
}

// Skipping with a null buffer leaves the song exactly where rendering does.
void twins(Run& run, uint32_t blocks, bool once) {
    if (run.mixed + uint64_t(blocks) * 1024 > MixBudget)
        return;
    run.mixed += uint64_t(blocks) * 1024;
    const Place a = render(run, true, blocks, once);
    const Place b = render(run, false, blocks, once);
    require(std::memcmp(&a, &b, sizeof a) == 0);
}

void step(Run& run, Program& p) {
    const uint32_t call = p.byte() % 18;
    switch (call) {
    case 0:
    case 1: {   // rendering, mixed or skipped, any count
        const bool mixed = call == 0;
        uint32_t count = p.word();
        if (!mixed)
            count <<= p.byte() % 8;
        const uint64_t ticks = count / static_cast<uint32_t>(song.tickFrames > 0 ? song.tickFrames : 1);
        if (mixed ? run.mixed + count > MixBudget : run.skippedTicks + ticks > SkipTicks)
            return;
        (mixed ? run.mixed : run.skippedTicks) += mixed ? count : ticks;
        const uint32_t got = renderFrames(mixed ? frames : nullptr, count);
        require(got <= count && (run.open || got == 0));
        checkTime(run);
        break;
    }
    case 2: {
        const uint32_t order = p.byte(), row = p.word();
        const int32_t result = seekPosition(order, row);
        PlayerSongInfo info;
        if (!run.open)
            require(result == PlayerSeekNothingPlays);
        else if (getSongInfo(&info) && order >= info.songLength)
            require(result == PlayerSeekPastSongEnd);
        else
            require(result == PlayerSeekDone || result == PlayerSeekPastPatternEnd);
        break;
    }
    case 3:
    case 4: {
        const uint32_t channel = p.byte() % 40, on = p.byte() & 1;
        require((call == 3 ? setChannelMute(channel, on) : setChannelSolo(channel, on)) == (channel < 32));
        break;
    }
    case 5: setPlayOnce(p.byte() & 1); break;
    case 6: checkPosition(run); break;
    case 7: checkChannel(run, p.byte() % 36); break;
    case 8: checkInstrument(run, p.word() % 260); break;
    case 9: setMasterVolume(p.byte()); break;
    case 10: {   // a named resource, then a start by that name
        const char* name = resourceNames[p.byte() % 5];
        std::memcpy(resourceBytes, run.module, run.moduleLength);
        require(registerModuleResource(name, resourceBytes, run.moduleLength) == 1);
        run.open = renderOpen(name, 0, PlayerSourceResource) != 0;
        run.lastTime = 0;
        break;
    }
    case 11:
        renderClose();
        run.open = false;
        break;
    case 12: openModule(run); break;
    case 13:
        stopPlayback();
        run.open = false;
        break;
    case 14: {
        PlayerSongInfo info;
        const uint32_t index = p.byte();
        require(std::strlen(getSongTitle()) <= 20 && std::strlen(getInstrumentName(index)) <= 22);
        require(getSongInfo(&info) == (run.open ? 1 : 0));
        require(!run.open || (info.channels <= 65535 && info.songLength <= 256 && info.instruments <= 255));
        break;
    }
    case 15: require(run.open || renderCameBack() == 0); break;
    case 16: twins(run, 1 + p.byte() % 64, p.byte() & 1); break;
    case 17: checkTime(run); break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    Run run = {};
    run.moduleLength = data[0] | data[1] << 8;
    if (run.moduleLength > size - 2)
        run.moduleLength = static_cast<uint32_t>(size - 2);
    run.module = data + 2;
    static const uint8_t none = 0;
    if (run.moduleLength == 0)
        run.module = &none;
    Program program = {data + 2 + run.moduleLength, data + size};
    setPlayOnce(0);
    setMasterVolume(64);
    openModule(run);
    while (program.at < program.end)
        step(run, program);
    stopPlayback();
    return 0;
}
