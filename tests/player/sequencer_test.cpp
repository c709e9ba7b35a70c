// The row and tick steps, the order and row advance, and effects the
// reference renders cannot check, observed through the channel records, the
// voices and the rows the song visits.
#include <functional>
#include <string>

#include "effects.h"
#include "song_fixture.h"

using namespace introplayer;

using namespace songfixture;
using Rows = std::vector<std::pair<int32_t, int32_t>>;

namespace {

// The first n rows the song plays.
Rows playRows(size_t n) {
    startSongPlayback();
    while (rowsSeen.size() < n + 1 && rowsSeen.size() < 10000)
        sequencerTick();
    return Rows(rowsSeen.begin(), rowsSeen.begin() + n);
}

}  // namespace

// F00 makes every tick a row; EEx repeats the row (the rightmost on the row
// counts); X6x adds ticks to every repeat, and several add up, in files
// saved by OpenMPT.
TEST_F(SongTest, RowLengthsUnderSpeedZeroAndPatternDelays) {
    const struct { const char* name; std::function<void()> setUp; int ticks, next; } cases[] = {
        {"F00", [] { fx(0, 0, 0, 0xF, 0x00); }, 1, 1},
        {"EE2", [] { fx(0, 0, 0, 0xE, 0xE2); }, 12, 4},   // at speed 4
        {"rightmost EEx", [] { fx(0, 0, 0, 0xE, 0xE3); fx(0, 0, 1, 0xE, 0xE1); }, 8, 4},
        {"X6x add up", [] { fx(0, 0, 0, 0x21, 0x62); fx(0, 0, 1, 0x21, 0x63); }, 9, 4},
        {"X6x in every repeat", [] { fx(0, 0, 0, 0xE, 0xE2); fx(0, 0, 1, 0x21, 0x63); }, 21, 4},
        {"no X6x in other trackers' files", [] { fx(0, 0, 0, 0x21, 0x62); song.fineDelays = false; }, 4, 4},
    };
    for (const auto& c : cases) {
        SetUp();
        song.fineDelays = true;
        c.setUp();
        start();
        EXPECT_EQ(finishRow(), c.ticks) << c.name;
        EXPECT_EQ(finishRow(), c.next) << c.name << ", the row after";
    }
}

TEST_F(SongTest, JumpsBreaksAndTheirOrdering) {
    const struct { std::string name; std::function<void()> setUp; Rows expected; } cases[] = {
        {"position jump", [] { fx(0, 0, 0, 0xB, 2); }, {{0, 0}, {2, 0}, {2, 1}}},
        {"pattern break is decimal", [] { fx(0, 0, 0, 0xD, 0x15); }, {{0, 0}, {1, 15}}},
        {"unchecked break digits", [] { fx(0, 0, 0, 0xD, 0x1F); }, {{0, 0}, {1, 25}}},
        {"jump then break keeps the order and takes the row",
         [] { fx(0, 0, 0, 0xB, 2); fx(0, 0, 1, 0xD, 5); }, {{0, 0}, {2, 5}}},
        {"break then jump takes row 0", [] { fx(0, 0, 0, 0xD, 5); fx(0, 0, 1, 0xB, 2); }, {{0, 0}, {2, 0}}},
        {"jump past the song length goes to order 0", [] { fx(0, 1, 0, 0xB, 7); },
         {{0, 0}, {0, 1}, {0, 0}, {0, 1}}},
        {"break on the last order goes to order 0",
         [] { fx(0, 0, 0, 0xB, 2); fx(2, 0, 0, 0xD, 3); }, {{0, 0}, {2, 0}, {0, 3}}},
        {"break row past the pattern just played is ignored, jump too",
         [] { storage.slots[0].rowCount = 16; fx(0, 0, 0, 0xB, 2); fx(0, 0, 1, 0xD, 0x20); },
         {{0, 0}, {1, 0}, {1, 1}}},
        {"break row past the entered pattern plays its row 0",
         [] { storage.slots[1].rowCount = 8; fx(0, 0, 0, 0xD, 0x10); }, {{0, 0}, {1, 0}, {1, 1}}},
        {"running off the end continues at the restart position",
         [] { song.restartPosition = 1; storage.slots[2].rowCount = 2; fx(0, 0, 0, 0xB, 2); },
         {{0, 0}, {2, 0}, {2, 1}, {1, 0}}},
        {"restart position at the song length or past it means order 0",
         [] { song.restartPosition = 3; storage.slots[2].rowCount = 2; fx(0, 0, 0, 0xB, 2); },
         {{0, 0}, {2, 0}, {2, 1}, {0, 0}}},
    };
    for (const auto& c : cases) {
        SetUp();
        song.songLength = 3;
        song.orderTable[2] = 2;
        c.setUp();
        EXPECT_EQ(playRows(c.expected.size()), c.expected) << c.name;
    }
}

TEST_F(SongTest, RetriggersEveryYTicksOnAlternatingVoices) {
    song.defaultSpeed = 7;
    put(0, 0, 0, 49, 1, 0, 0xE, 0x93);
    put(0, 0, 1, 49, 1, 0, 0xE, 0x90);   // E90 beside a note: just the note
    const uint32_t expected[] = {0, 0, 0, 32, 32, 32, 0};
    start();
    for (int t = 0; t < 7; ++t) {
        ticks(1);
        EXPECT_EQ(ch(0).voice, &voices[expected[t]]) << "tick " << t;
        EXPECT_EQ(ch(1).voice, &voices[1]) << "tick " << t;
    }
}

TEST_F(SongTest, LimitsOfVolumePanningAndSampleOffset) {
    put(0, 0, 0, 49, 1, 0, 0xC, 0x50);      // C50 plays at 64
    put(0, 0, 1, 49, 1, 0xEF, 0x8, 0xFA);   // pan 250 + 15 + 15 per tick, at most 255
    put(0, 0, 2, 49, 1, 0, 0xE, 0x8F);      // E8F: 240
    put(0, 0, 3, 49, 1);
    put(0, 1, 3, 51, 0, 0, 0x9, 0x04);      // 1024 frames in: past the sample's end, not started
    start();
    ticks(2);
    EXPECT_EQ(ch(0).volume, 64);
    EXPECT_EQ(ch(0).voice->mixVolume, 128);   // 64 x 64 x 65536 x 64 x 255 / 2^35, rounded
    EXPECT_EQ(ch(1).voice->finalPan, 255);
    EXPECT_EQ(ch(2).panning, 240);
    finishRow();
    ticks(1);
    EXPECT_EQ(voices[3].sample, nullptr);    // the note it replaces stops too
    EXPECT_EQ(voices[35].sample, nullptr);
}

TEST_F(SongTest, MissingInstrumentsPlaySilence) {
    const struct { const char* name; uint16_t count; bool table; uint8_t instrument; } cases[] = {
        {"no instruments", 0, true, 1},
        {"no instrument table", 0, false, 1},
        {"instrument past the table", 2, true, 9},
    };
    for (const auto& c : cases) {
        SetUp();
        song.instrumentCount = c.count;
        if (!c.table)
            song.instrumentTable = nullptr;
        put(0, 0, 0, 49, c.instrument, 0, 0xE, 0x5F);   // E5F must not write anything
        put(0, 0, 1, 49, c.instrument, 0, 0xC, 0x40);
        start();
        finishRow();
        EXPECT_EQ(ch(0).voice->sample, &emptySample) << c.name;
        EXPECT_EQ(ch(0).voice->mixVolume, 0) << c.name;
        EXPECT_EQ(ch(1).voice->sample, &emptySample) << c.name;
        EXPECT_EQ(emptySample.finetune, 0) << c.name;
    }
}

TEST_F(SongTest, NoteDecodingWithTheRelativeNoteInsideTenOctaves) {
    const struct { int8_t relative; int8_t finetune; uint8_t note; uint8_t realNote; int32_t period; } cases[] = {
        {0, 0, 49, 48, 4608},
        {-1, 0, 1, 0, 0},                    // sum 0: no pitch of its own
        {30, 0, 90, 0, 0},                   // 120: past the highest
        {29, 0, 90, 118, 7680 - 64 * 118},
        {12, -16, 49, 60, 7680 - 64 * 60 + 8},
        {0, 15, 49, 48, 4608 - 7},           // finetune / 2 truncates toward zero
        {0, -15, 49, 48, 4608 + 7},
    };
    for (const auto& c : cases) {
        SetUp();
        storage.samples[0].relativeNote = c.relative;
        storage.samples[0].finetune = c.finetune;
        put(0, 0, 0, c.note, 1);
        start();
        ticks(1);
        EXPECT_EQ(ch(0).realNote, c.realNote) << int(c.relative) << " " << int(c.note);
        EXPECT_EQ(ch(0).period, c.period) << int(c.relative) << " " << int(c.note);
    }
}

// Effects the reference renders cannot tell apart: the vibrato's low bits,
// the tremolo's steps, the retrigger's volumes, the highest portamento and
// the envelope position.
TEST(VibratoStep, DepthAndWaveformsOfVibratoAndTremolo) {
    const struct { int8_t pos; uint8_t control, depth; int32_t delta; } cases[] = {
        {8, 0, 15, 84}, {-8, 0, 15, -84}, {16, 0, 15, 120}, {4, 1, 8, 8},
        {-8, 1, 8, -12},   // ramp below 0: 63 x 8 >> 5 = 15, low bits cleared
        {5, 2, 4, 28},  {-5, 3, 4, -28},
    };
    for (const auto& c : cases) {
        ChannelState ch = {};
        ch.vibPos = c.pos;
        ch.waveControl = c.control;
        ch.vibDepth = c.depth;
        vibratoStep(&ch);
        EXPECT_EQ(ch.periodDelta, c.delta) << int(c.pos) << " wave " << int(c.control);
    }
    // The tremolo: its ramp turns with the vibrato's position; 3 is a square
    // too; a channel at volume 0 stays silent.
    const struct { int8_t pos, vibPos; uint8_t control; int32_t volume, delta; } tremolos[] = {
        {8, 0, 0x00, 32, 22}, {-8, 0, 0x10, 32, -24}, {-8, -1, 0x10, 32, -7}, {8, -1, 0x10, 32, 23},
        {5, 0, 0x20, 32, 31}, {-5, 0, 0x30, 32, -31}, {8, 0, 0x00, 0, 0},
    };
    for (const auto& c : tremolos) {
        ChannelState ch = {};
        ch.tremPos = c.pos;
        ch.vibPos = c.vibPos;
        ch.waveControl = c.control;
        ch.tremDepth = 8;
        ch.volume = c.volume;
        tremoloStep(&ch);
        EXPECT_EQ(ch.volumeDelta, c.delta) << int(c.pos) << " wave " << int(c.control);
    }
}

TEST(MultiRetriggerStep, VolumeChangeOfEveryX) {
    const int32_t from40[16] = {40, 39, 38, 36, 32, 24, 25, 20, 40, 41, 42, 44, 48, 56, 60, 80};
    for (int x = 0; x < 16; ++x)
        EXPECT_EQ(retrigVolumeTable[x](40), from40[x]) << x;
}

TEST_F(SongTest, ArpeggioCeilingAndTheNoteBelowTheLowest) {
    storage.samples[1].relativeNote = -1;
    put(0, 0, 1, 91, 2, 0, 0x0, 0x67);   // 1984
    put(0, 0, 2, 50, 2);
    put(0, 1, 2, 1, 2);
    start();
    ticks(3);
    EXPECT_EQ(ch(1).period + ch(1).periodDelta, 1540);   // not 1984 - 7 x 64
    ticks(4);
    EXPECT_EQ(ch(2).period, 4672 - 64);
    EXPECT_EQ(ch(2).voice, &voices[34]);
}

TEST_F(SongTest, PortamentoUpStopsAtPeriod56) {
    put(0, 0, 0, 49, 1, 0, 0x1, 0xFF);    // up by 1020 per tick
    fx(0, 1, 0, 0x1, 0x00);
    start();
    finishRow();
    EXPECT_EQ(ch(0).period, 1548);
    finishRow();
    EXPECT_EQ(ch(0).period, 56);
}

TEST_F(SongTest, SetEnvelopePositionJumpsIntoTheVolumeEnvelope) {
    InstrumentRecord& ins = storage.instruments[0];
    ins.volumeEnvelope[0] = {0, 64};
    ins.volumeEnvelope[1] = {10, 0};
    ins.volumeEnvelope[2] = {20, 32};
    ins.volumePointCount = 3;
    ins.volumeEnvelopeFlags = EnvelopeOn;
    put(0, 0, 0, 49, 1, 0, 0x15, 5);    // L05: halfway down the first segment
    put(0, 0, 1, 49, 1, 0, 0x15, 30);   // past the last point
    start();
    ticks(1);
    EXPECT_EQ(ch(0).envVolume, 32);
    EXPECT_EQ(ch(0).volEnvPoint, 1);
    EXPECT_EQ(ch(1).envVolume, 32);
    EXPECT_EQ(ch(1).volEnvDone, 1);
    ticks(1);
    EXPECT_EQ(ch(0).envVolume, 25);   // 64 x 65536 + 6 x -419430, >> 16
}

// The pan law, from the gains: mirrored pans swap left and right exactly at
// every volume, the centre's sides differ by the truncation alone, and a
// panning envelope's 0, 32 and 64 take a centred channel hard left, to the
// centre and hard right.
TEST_F(SongTest, PanLawMirrorsAndTheEnvelopeReachesBothSides) {
    for (uint8_t volume : {0x10, 0x2A, 0x50}) {
        for (int pan = 0; pan < 256; ++pan) {
            SetUp();
            put(0, 0, 0, 49, 1, volume, 0x8, uint8_t(pan));
            put(0, 0, 1, 49, 1, volume, 0x8, uint8_t(255 - pan));
            start();
            ticks(1);
            const Voice& a = *ch(0).voice;
            const Voice& b = *ch(1).voice;
            ASSERT_EQ(a.targetLeft * 1000 + a.targetRight, b.targetRight * 1000 + b.targetLeft) << pan;
            if (pan == 128) {
                EXPECT_EQ(a.targetRight, a.mixVolume * 128 / 255);
                EXPECT_EQ(a.targetLeft, a.mixVolume * 127 / 255);
            }
        }
    }
    for (uint16_t envelope : {0, 32, 64}) {
        SetUp();
        InstrumentRecord& ins = storage.instruments[1];
        ins.panningEnvelope[0] = {0, envelope};
        ins.panningEnvelope[1] = {100, envelope};
        ins.panningPointCount = 2;
        ins.panningEnvelopeFlags = EnvelopeOn;
        put(0, 0, 0, 49, 2, 0x50);
        start();
        ticks(2);
        EXPECT_EQ(ch(0).voice->finalPan, envelope == 0 ? 0 : envelope == 32 ? 128 : 255) << envelope;
    }
}
