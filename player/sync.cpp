// Following the music: snapshots published with each mixed block, strike
// counts, mute and solo, seeking and playing once.
//
// Each ring block keeps the snapshots taken while it was mixed. The mixing
// thread writes a block's snapshots under a sequence count (odd while it
// writes); a reader copies them and tries again when the count moved, so
// neither side waits on a lock. Every shared value is a 32-bit atomic
// stored with release and loaded with acquire: on x86 the same plain moves
// as relaxed ones, and a reader that sees a new value also sees the odd
// count stored before it.
#include "sync.h"

#include <cstring>

#include "channel.h"
#include "mixer.h"
#include "module.h"
#include "player.h"
#include "sequencer.h"

namespace introplayer {

namespace {

// Strikes of the running song, kept by the mixing thread.
uint32_t instrumentStrikes[InstrumentSlots];
uint32_t instrumentLastStrikeMs[InstrumentSlots];
uint32_t channelStrikes[ChannelCountMax];
uint32_t channelLastStrikeMs[ChannelCountMax];
uint32_t channelSample[ChannelCountMax];   // 1-based in its instrument, as struck

}  // namespace

uint32_t audibleChannels = 0xFFFFFFFFu;
std::atomic<uint32_t> playOnce;
std::atomic<uint32_t> pendingSeek{NoSeek};

namespace {

using Word = std::atomic<uint32_t>;

// The public records are runs of 32-bit fields; snapshots keep them as such.
constexpr int32_t PositionWords = sizeof(PlayerPosition) / 4;
constexpr int32_t ChannelWords = sizeof(PlayerChannel) / 4;

// One moment of the song: where it is and what each channel does.
struct TickSnapshot {
    Word frame;   // offset in the block
    Word channelCount;   // the song's: the channels past it are silent
    Word position[PositionWords];
    Word channels[ChannelCountMax][ChannelWords];
};

// A block holds up to TicksPerBlock moments; a tempo so fast that more ticks
// start within one block keeps the latest in the last.
constexpr int32_t TicksPerBlock = 8;

struct BlockSnapshots {
    Word sequence;   // odd while being written
    Word count;
    TickSnapshot ticks[TicksPerBlock];
    Word instruments[InstrumentSlots][2];   // strikes, latest strike's time
};

BlockSnapshots snapshots[LiveSlot + 1];
Word described{0xFFFFFFFFu};   // slot << 16 | frame, or all ones: nothing
Word muteMask, soloMask;

void put(Word& word, uint32_t value) { word.store(value, std::memory_order_release); }
uint32_t get(const Word& word) { return word.load(std::memory_order_acquire); }

// A record of `count` 32-bit fields to and from its words.
constexpr int32_t RecordWordsMax = 9;
static_assert(PositionWords <= RecordWordsMax && ChannelWords <= RecordWordsMax, "records grew");

void putRecord(Word* words, const void* record, int32_t count) {
    uint32_t values[RecordWordsMax];
    std::memcpy(values, record, 4 * static_cast<size_t>(count));
    for (int32_t i = 0; i < count; ++i)
        put(words[i], values[i]);
}

void getRecord(void* record, const Word* words, int32_t count) {
    uint32_t values[RecordWordsMax];
    for (int32_t i = 0; i < count; ++i)
        values[i] = get(words[i]);
    std::memcpy(record, values, 4 * static_cast<size_t>(count));
}

void fill(TickSnapshot& t, int32_t frame) {
    put(t.frame, static_cast<uint32_t>(frame));
    const PlayerPosition position = {
        static_cast<uint32_t>(song.orderPos), song.orderTable[song.orderPos & 255], static_cast<uint32_t>(song.row),
        static_cast<uint32_t>(song.playedTick), static_cast<uint32_t>(song.speed), song.tempo,
        static_cast<uint32_t>(song.globalVolume), song.playTimeMs, song.ended ? 1u : 0u};
    putRecord(t.position, &position, PositionWords);
    const int32_t count = channelsInUse();
    put(t.channelCount, static_cast<uint32_t>(count));
    for (int32_t c = 0; c < count; ++c) {
        const ChannelState* ch = &channels[c];
        const Voice* v = ch->voice;
        Word* s = t.channels[c];   // the fields of PlayerChannel, in order
        const bool sounds = v && v->sample && v->mixVolume > 0;
        // Hz from the 32.32 step: (step * 44,100) >> 32, in two halves.
        const uint64_t step = sounds ? (static_cast<uint64_t>(v->stepInt) << 32) | v->stepFrac : 0;
        put(s[0], v && ch->period != 0 ? ch->noteIndex + 1u : 0u);
        put(s[1], ch->instrumentIndex == NoInstrument ? 0u : ch->instrumentIndex + 1u);
        put(s[2], v && v->sample ? channelSample[c] : 0u);
        put(s[3], v ? static_cast<uint32_t>(v->mixVolume) : 0u);
        put(s[4], v ? static_cast<uint32_t>(v->finalPan) : 0u);
        put(s[5], static_cast<uint32_t>((step >> 16) * OutputRate >> 16));
        put(s[6], sounds && (audibleChannels >> c & 1) ? 1u : 0u);
        put(s[7], channelStrikes[c]);
        put(s[8], channelLastStrikeMs[c]);
    }
}

}  // namespace

void countStrike(const ChannelState* ch, const SampleRecord* sample) {
    const int32_t c = static_cast<int32_t>(ch - channels);
    const uint32_t instrumentIndex = ch->instrumentIndex;
    channelStrikes[c] += 1;
    channelLastStrikeMs[c] = song.playTimeMs;
    channelSample[c] = 0;
    if (instrumentIndex < song.instrumentCount) {
        const InstrumentRecord& ins = song.instrumentTable[instrumentIndex];
        for (uint32_t k = 0; k < ins.sampleCount && k < 16; ++k)
            if (ins.samples[k] == sample)
                channelSample[c] = k + 1;
    }
    if (instrumentIndex < InstrumentSlots) {
        instrumentStrikes[instrumentIndex] += 1;
        instrumentLastStrikeMs[instrumentIndex] = song.playTimeMs;
    }
}

void applyMuteAndSolo() {
    const uint32_t solo = get(soloMask);
    const uint32_t audible = ~get(muteMask) & (solo ? solo : 0xFFFFFFFFu);
    if (audible == audibleChannels)
        return;
    audibleChannels = audible;
    for (Voice& v : voices)
        updateTargets(&v);
}

void resetSync() {
    std::memset(instrumentStrikes, 0, sizeof instrumentStrikes);
    std::memset(instrumentLastStrikeMs, 0, sizeof instrumentLastStrikeMs);
    std::memset(channelStrikes, 0, sizeof channelStrikes);
    std::memset(channelLastStrikeMs, 0, sizeof channelLastStrikeMs);
    std::memset(channelSample, 0, sizeof channelSample);
    put(muteMask, 0);
    put(soloMask, 0);
    audibleChannels = 0xFFFFFFFFu;
    pendingSeek.store(NoSeek, std::memory_order_relaxed);
}

void beginBlockSnapshots(int32_t block) {
    BlockSnapshots& b = snapshots[block];
    put(b.sequence, get(b.sequence) + 1);
    put(b.count, 0);
    takeTickSnapshot(block, 0);
}

void takeTickSnapshot(int32_t block, int32_t frame) {
    BlockSnapshots& b = snapshots[block];
    const uint32_t n = get(b.count);
    fill(b.ticks[n < TicksPerBlock ? n : TicksPerBlock - 1], frame);
    if (n < TicksPerBlock)
        put(b.count, n + 1);
}

void endBlockSnapshots(int32_t block) {
    BlockSnapshots& b = snapshots[block];
    const int32_t count = song.instrumentCount < InstrumentSlots ? song.instrumentCount : InstrumentSlots;
    for (int32_t i = 0; i < count; ++i) {
        put(b.instruments[i][0], instrumentStrikes[i]);
        put(b.instruments[i][1], instrumentLastStrikeMs[i]);
    }
    put(b.sequence, get(b.sequence) + 1);
}

void snapshotLive() {
    beginBlockSnapshots(LiveSlot);
    endBlockSnapshots(LiveSlot);
    describe(LiveSlot, 0);
}

void describe(int32_t slot, int32_t frame) {
    put(described, static_cast<uint32_t>(slot) << 16 | static_cast<uint32_t>(frame));
}

void describeNothing() { put(described, 0xFFFFFFFFu); }

void restartSongAt(int32_t order, int32_t row) {
    const uint32_t time = song.playTimeMs;
    const uint64_t frames = framesMixed;
    resetSongState();
    song.pendingOrder = order;
    song.pendingRow = row;
    song.playTimeMs = time;
    framesMixed = frames;
    runDueTick();
}

int32_t checkSeek(uint32_t order, uint32_t row) {
    if (!songLoaded)
        return PlayerSeekNothingPlays;
    if (order >= song.songLength)
        return PlayerSeekPastSongEnd;
    return row < static_cast<uint32_t>(patternAt(static_cast<int32_t>(order))->rowCount) ? PlayerSeekDone
                                                                                         : PlayerSeekPastPatternEnd;
}

}  // namespace introplayer

// ---- The outside face ----------------------------------------------------------

using namespace introplayer;

namespace {

// Copies what the described snapshot says: the position, one channel and
// one instrument (each where asked for), tried again while it was being
// written meanwhile.
int32_t readDescribed(PlayerPosition* position, uint32_t channel, PlayerChannel* out, uint32_t instrument,
                      uint32_t strikes[2]) {
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const uint32_t d = get(described);
        if (d == 0xFFFFFFFFu)
            return 0;
        const BlockSnapshots& b = snapshots[(d >> 16) <= LiveSlot ? d >> 16 : LiveSlot];
        const uint32_t before = get(b.sequence);
        if (before & 1)
            continue;
        uint32_t n = get(b.count);
        if (n > TicksPerBlock)
            n = TicksPerBlock;
        uint32_t k = 0;   // the last moment at or before the frame
        while (k + 1 < n && get(b.ticks[k + 1].frame) <= (d & 0xFFFF))
            ++k;
        if (position)
            getRecord(position, b.ticks[k].position, PositionWords);
        if (out && channel < get(b.ticks[k].channelCount))
            getRecord(out, b.ticks[k].channels[channel], ChannelWords);
        else if (out)
            std::memset(out, 0, sizeof *out);
        if (strikes)
            getRecord(strikes, b.instruments[instrument], 2);
        if (get(b.sequence) == before && get(described) == d)
            return 1;
    }
    return 0;
}

uint32_t bit(uint32_t channel) { return channel < 32 ? 1u << channel : 0u; }

int32_t setBit(Word& mask, uint32_t channel, int32_t on) {
    if (channel >= ChannelCountMax)
        return 0;
    const uint32_t m = get(mask);
    put(mask, on ? m | bit(channel) : m & ~bit(channel));
    return 1;
}

}  // namespace

int32_t getPosition(PlayerPosition* position) {
    return position ? readDescribed(position, 0, nullptr, 0, nullptr) : 0;
}

int32_t getChannel(uint32_t channel, PlayerChannel* out) {
    return out && channel < ChannelCountMax ? readDescribed(nullptr, channel, out, 0, nullptr) : 0;
}

int32_t getInstrumentStrikes(uint32_t instrument, uint32_t* strikes, uint32_t* lastStrikeMs) {
    uint32_t both[2];
    if (instrument == 0 || instrument > InstrumentSlots || !strikes || !lastStrikeMs ||
        !readDescribed(nullptr, 0, nullptr, instrument - 1, both))
        return 0;
    *strikes = both[0];
    *lastStrikeMs = both[1];
    return 1;
}

int32_t setChannelMute(uint32_t channel, int32_t muted) { return setBit(muteMask, channel, muted); }

int32_t setChannelSolo(uint32_t channel, int32_t solo) { return setBit(soloMask, channel, solo); }

void setPlayOnce(int32_t once) { playOnce.store(once ? 1u : 0u, std::memory_order_relaxed); }
