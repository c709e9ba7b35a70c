// Following the music: strike tallies that a seek can take back, and
// snapshots published with each rendered block.
//
// Each ring block keeps the snapshots taken while it was rendered. The
// rendering thread writes a block's snapshots under a sequence count (odd
// while it writes); a reader copies them and tries again when the count
// moved, so neither side waits on a lock. Every shared value is a 32-bit
// atomic stored with release and loaded with acquire: on x86 the same plain
// moves as relaxed ones, and a reader that sees a new value also sees the
// odd count stored before it.
#include "follow.h"

#if INTROPLAYER_FOLLOW

#include <atomic>
#include <cstring>
#include <thread>

#include "channel.h"
#include "mixer.h"
#include "module.h"
#include "sequencer.h"

namespace introplayer {

namespace {

// ---- Strikes -------------------------------------------------------------------

constexpr int32_t InstrumentSlots = 255;   // instruments 1 .. 255

struct Tally {
    uint32_t channelStrikes[ChannelCountMax];
    uint32_t channelLastMs[ChannelCountMax];
    uint32_t channelSample[ChannelCountMax];   // 1-based in its instrument, as struck
    uint32_t instrumentStrikes[InstrumentSlots];
    uint32_t instrumentLastMs[InstrumentSlots];
};

void count(Tally& tally, const Strike& strike, uint32_t ms) {
    const uint32_t c = strike.channel;
    tally.channelStrikes[c] += 1;
    tally.channelLastMs[c] = ms;
    tally.channelSample[c] = strike.sample;
    if (strike.instrument < InstrumentSlots) {
        tally.instrumentStrikes[strike.instrument] += 1;
        tally.instrumentLastMs[strike.instrument] = ms;
    }
}

// Strikes not yet heard, kept so that a seek can take them back: the tally
// is `settled` plus the journal. In real time the journal spans the blocks
// ahead of the device; offline the block in hand.
struct StrikeEntry {
    uint64_t at;   // output frame of the strike's tick
    uint32_t ms;
    Strike strike;
};
constexpr uint32_t JournalSize = 4096;   // 15 blocks of 32 channels at 8 ticks a block

struct Strikes {
    Tally tally;     // what the snapshots publish
    Tally settled;
    StrikeEntry journal[JournalSize];
    uint32_t first;  // oldest entry
    uint32_t count;
};

Strikes strikes;

void settleOldest() {
    const StrikeEntry& e = strikes.journal[strikes.first];
    count(strikes.settled, e.strike, e.ms);
    strikes.first = (strikes.first + 1) % JournalSize;
    strikes.count -= 1;
}

}  // namespace

void tallyTickStrikes(uint64_t at, uint32_t ms) {
    for (int32_t i = 0; i < tickStrikes.count; ++i) {
        const Strike& strike = tickStrikes.list[i];
        count(strikes.tally, strike, ms);
        // At tempos far beyond the format's own a full journal settles its
        // oldest strike early: a seek then keeps it.
        if (strikes.count == JournalSize)
            settleOldest();
        strikes.journal[(strikes.first + strikes.count++) % JournalSize] = {at, ms, strike};
    }
}

void settleStrikesBefore(uint64_t at) {
    while (strikes.count > 0 && strikes.journal[strikes.first].at < at)
        settleOldest();
}

void forgetStrikesFrom(uint64_t at) {
    settleStrikesBefore(at);
    strikes.count = 0;
    strikes.tally = strikes.settled;
}

// ---- Snapshots -----------------------------------------------------------------

namespace {

using Word = std::atomic<uint32_t>;

// The public records are runs of 32-bit fields; snapshots keep them as such.
constexpr int32_t PositionWords = sizeof(PlayerPosition) / 4;
constexpr int32_t ChannelWords = sizeof(PlayerChannel) / 4;

// One moment of the song: where it is and what each channel does. The song
// time is worked out for the frame described, from the clock at the moment.
struct TickSnapshot {
    Word frame;          // offset in the block
    Word channelCount;   // the song's: the channels past it are silent
    Word clockLow, clockHigh;
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
    Word instrumentCount;   // the song's: those past it have not struck
    Word instruments[InstrumentSlots][2];   // strikes, latest strike's time
};

// The ring's blocks, then the live state's slots: taken in turn, so that a
// reader of one is not starved by the next snapshot being written.
constexpr int32_t LiveSlots = 4;
BlockSnapshots snapshots[RingBlocks + LiveSlots];
int32_t nextLive;
constexpr uint32_t Nothing = 0xFFFFFFFFu;
Word described{Nothing};   // slot << 16 | frame

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
        static_cast<uint32_t>(song.globalVolume), 0, song.ended ? 1u : 0u};
    putRecord(t.position, &position, PositionWords);
    put(t.clockLow, static_cast<uint32_t>(song.clockFrames));
    put(t.clockHigh, static_cast<uint32_t>(song.clockFrames >> 32));
    const int32_t count = channelsInUse();
    put(t.channelCount, static_cast<uint32_t>(count));
    for (int32_t c = 0; c < count; ++c) {
        const ChannelState* ch = &channels[c];
        const Voice* v = ch->voice;
        Word* s = t.channels[c];   // the fields of PlayerChannel, in order
        // A note without a sample to play (none mapped, or one of no
        // frames) goes on silently: it does not sound.
        const bool sounds = v && v->sample && v->sample->length > 0 && v->mixVolume > 0;
        // Hz from the 32.32 step: (step * 44,100) >> 32, in two halves.
        const uint64_t step = sounds ? (static_cast<uint64_t>(v->stepInt) << 32) | v->stepFrac : 0;
        put(s[0], ch->noteTaken ? ch->noteIndex + 1u : 0u);
        put(s[1], ch->instrumentIndex == NoInstrument ? 0u : ch->instrumentIndex + 1u);
        put(s[2], v && v->sample ? strikes.tally.channelSample[c] : 0u);
        put(s[3], v ? static_cast<uint32_t>(v->mixVolume) : 0u);
        put(s[4], v ? static_cast<uint32_t>(v->finalPan) : 0u);
        put(s[5], static_cast<uint32_t>((step >> 16) * OutputRate >> 16));
        put(s[6], sounds && (audibleChannels >> c & 1) ? 1u : 0u);
        put(s[7], strikes.tally.channelStrikes[c]);
        put(s[8], strikes.tally.channelLastMs[c]);
    }
}

}  // namespace

void resetFollow() {
    std::memset(&strikes, 0, sizeof strikes);
    describeNothing();
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
    put(b.instrumentCount, static_cast<uint32_t>(count));
    for (int32_t i = 0; i < count; ++i) {
        put(b.instruments[i][0], strikes.tally.instrumentStrikes[i]);
        put(b.instruments[i][1], strikes.tally.instrumentLastMs[i]);
    }
    put(b.sequence, get(b.sequence) + 1);
}

void snapshotLive() {
    const int32_t slot = RingBlocks + nextLive;
    nextLive = (nextLive + 1) % LiveSlots;
    beginBlockSnapshots(slot);
    endBlockSnapshots(slot);
    describe(slot, 0);
}

void describe(int32_t block, int32_t frame) {
    put(described, static_cast<uint32_t>(block) << 16 | static_cast<uint32_t>(frame));
}

void describeNothing() { put(described, Nothing); }

// Copies what the described snapshot says into the caller's records only
// once a whole copy was made while no writer touched it. A writer is never
// waited for: a copy it spoiled is made again, from the block described by
// then, for as long as something is described.
int32_t readDescribed(PlayerPosition* position, uint32_t channel, PlayerChannel* out, uint32_t instrument,
                      uint32_t instrumentStrikes[2]) {
    for (uint32_t attempt = 1;; ++attempt) {
        if (attempt % 64 == 0)
            std::this_thread::yield();
        const uint32_t d = get(described);
        if (d == Nothing)
            return 0;
        const uint32_t slot = d >> 16;
        const uint32_t frame = d & 0xFFFF;
        const BlockSnapshots& b = snapshots[slot < RingBlocks + LiveSlots ? slot : RingBlocks];
        const uint32_t before = get(b.sequence);
        if (before & 1)
            continue;
        uint32_t n = get(b.count);
        if (n == 0) {   // a block never written: nothing to say
            if (get(b.sequence) == before && get(described) == d)
                return 0;
            continue;
        }
        if (n > TicksPerBlock)
            n = TicksPerBlock;
        uint32_t k = 0;   // the last moment at or before the frame
        while (k + 1 < n && get(b.ticks[k + 1].frame) <= frame)
            ++k;
        const TickSnapshot& t = b.ticks[k];
        PlayerPosition p;
        PlayerChannel c = {};
        uint32_t s[2] = {};
        getRecord(&p, t.position, PositionWords);
        uint64_t clock = static_cast<uint64_t>(get(t.clockHigh)) << 32 | get(t.clockLow);
        const uint32_t tickFrame = get(t.frame);
        // The clock runs on within a tick, unless the song ended there.
        if (!p.ended && frame > tickFrame)
            clock += frame - tickFrame;
        p.timeMs = songMs(clock);
        if (channel < get(t.channelCount))
            getRecord(&c, t.channels[channel], ChannelWords);
        if (instrument < get(b.instrumentCount))
            getRecord(s, b.instruments[instrument], 2);
        if (get(b.sequence) != before || get(described) != d)
            continue;
        if (position)
            *position = p;
        if (out)
            *out = c;
        if (instrumentStrikes) {
            instrumentStrikes[0] = s[0];
            instrumentStrikes[1] = s[1];
        }
        return 1;
    }
}

}  // namespace introplayer

#endif
