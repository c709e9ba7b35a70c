// The row and tick steps, the order/row advance and the apply step, observed
// through the channel records, the voices and the rows the song visits.
#include <functional>
#include <string>

#include "song_fixture.h"

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

Rows range(int32_t order, int32_t from, int32_t to) {
    Rows rows;
    for (int32_t r = from; r <= to; ++r)
        rows.emplace_back(order, r);
    return rows;
}

Rows operator+(Rows a, const Rows& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

}  // namespace

TEST_F(SongTest, RowAtSpeedFourAnd125BpmLasts3528Frames) {
    start();
    EXPECT_EQ(song.tickFrames, 882);
    for (int blocks = 1; blocks <= 40; ++blocks) {
        renderBlock();
        // Rows start at frames 0, 3528, 7056, ...: all that began before the block's end.
        ASSERT_EQ(rowsSeen.size(), size_t((blocks * 1024 - 1) / 3528 + 1)) << "after " << blocks << " blocks";
    }
}

TEST_F(SongTest, SpeedZeroMakesEveryTickARowTick) {
    fx(0, 0, 0, 0xF, 0x00);
    start();
    ticks(6);
    EXPECT_EQ(song.speed, 0);
    EXPECT_EQ(rowsSeen, range(0, 0, 5));
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
        {"restart position past the song length means order 0",
         [] { song.restartPosition = 9; storage.slots[2].rowCount = 2; fx(0, 0, 0, 0xB, 2); },
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

TEST_F(SongTest, PatternLoopPlaysItsRowsThreeTimesAndLoopsAgainLater) {
    storage.slots[0].rowCount = 10;
    song.orderTable[1] = 0;   // the same pattern twice
    fx(0, 4, 1, 0xE, 0x60);
    fx(0, 8, 1, 0xE, 0x62);
    const Rows pass = range(0, 0, 8) + range(0, 4, 8) + range(0, 4, 9);
    Rows second = pass;
    for (auto& r : second)
        r.first = 1;
    EXPECT_EQ(playRows(pass.size() * 2), pass + second);
}

TEST_F(SongTest, PatternDelayLengthensTheRowHighestChannelWins) {
    fx(0, 0, 0, 0xE, 0xE2);
    fx(0, 1, 0, 0xE, 0xE1);
    fx(0, 1, 2, 0xE, 0xE3);
    start();
    EXPECT_EQ(finishRow(), 12);   // speed 4 x (1 + 2)
    EXPECT_EQ(finishRow(), 16);   // EE3 in channel 2 wins over EE1
    EXPECT_EQ(finishRow(), 4);
}

TEST_F(SongTest, NoteCutAtItsTickAlsoInsideAPatternDelay) {
    put(0, 0, 0, 49, 1, 0, 0xE, 0xC2);
    put(0, 0, 1, 49, 1, 0, 0xE, 0xC0);
    put(0, 0, 2, 49, 1, 0, 0xE, 0xC6);
    fx(0, 0, 3, 0xE, 0xE1);
    start();
    ticks(2);   // ticks 0 and 1
    EXPECT_EQ(ch(0).volume, 48);
    ticks(1);   // tick 2
    EXPECT_EQ(ch(0).volume, 0);
    EXPECT_EQ(ch(0).voice->mixVolume, 0);
    EXPECT_EQ(ch(2).volume, 48);
    ticks(4);   // ticks 3..6, in the delayed part of the row
    EXPECT_EQ(ch(2).volume, 0);
    EXPECT_EQ(ch(1).volume, 0);   // EC0 cuts on the row tick
}

TEST_F(SongTest, NoteDelayKeepsThePreviousNoteUntilItsTick) {
    put(0, 0, 0, 49, 1);
    put(0, 1, 0, 51, 1, 0x30, 0xE, 0xD2);   // D-4, volume 32, delayed 2 ticks
    put(0, 0, 1, 49, 1);
    put(0, 1, 1, 51, 1, 0x30, 0xE, 0xD0);   // ED0: starts at once
    start();
    finishRow();
    Voice* first = ch(0).voice;
    ticks(2);   // ticks 0 and 1 of row 1
    EXPECT_EQ(ch(0).voice, first);
    EXPECT_EQ(ch(0).period, 4608);
    EXPECT_EQ(ch(0).volume, 48);
    ticks(1);   // tick 2: the note starts on the twin
    EXPECT_EQ(ch(0).voice, twinVoice(first));
    EXPECT_EQ(ch(0).period, 4608 - 128);
    EXPECT_EQ(ch(0).volume, 32);
    EXPECT_EQ(ch(1).voice, &voices[33]);
    EXPECT_EQ(ch(1).period, 4608 - 128);
}

TEST_F(SongTest, RetriggersEveryYTicksOnAlternatingVoices) {
    song.defaultSpeed = 7;
    put(0, 0, 0, 49, 1, 0, 0xE, 0x93);
    put(0, 0, 1, 49, 1, 0, 0xE, 0x90);
    const Voice* expected[] = {&voices[0], &voices[0], &voices[0], &voices[32], &voices[32], &voices[32], &voices[0]};
    start();
    for (int t = 0; t < 7; ++t) {
        ticks(1);
        EXPECT_EQ(ch(0).voice, expected[t]) << "tick " << t;
    }
    EXPECT_EQ(voices[32].posInt, 0u);
    EXPECT_EQ(ch(1).voice, &voices[1]);   // E90 beside a note: just the note
}

// With a volume envelope: the envelope steps are checked on their own, the
// fade-out end to end in the render tests.
TEST_F(SongTest, TonePortamentoRowKeepsTheNoteAndResetsFromTheOldSample) {
    storage.samples[1].relativeNote = 12;
    storage.samples[1].volume = 20;
    put(0, 0, 0, 49, 1, 0x30);           // C-4, volume 32
    put(0, 1, 0, 52, 2, 0, 0x3, 0x10);   // D#4, instrument 2, 310
    start();
    finishRow();
    Voice* v = ch(0).voice;
    ticks(2);
    EXPECT_EQ(ch(0).noteIndex, 48);
    EXPECT_EQ(ch(0).instrumentIndex, 0);
    EXPECT_EQ(ch(0).portaTarget, 7680 - 64 * 51);   // relative note of the old sample
    EXPECT_EQ(ch(0).period, 4608 - 64);
    EXPECT_EQ(ch(0).volume, 48);                    // reset from the old sample
    EXPECT_EQ(ch(0).voice, v);                      // not restarted
}

// The crossfade itself is heard in the render tests.
TEST_F(SongTest, NewNoteOnASoundingVoiceHandsOffToTheTwin) {
    put(0, 0, 2, 49, 1);
    put(0, 1, 2, 53, 0);
    start();
    finishRow();
    Voice& old = voices[2];
    old.posInt = 300;
    old.currentLeft = old.targetLeft;
    const uint32_t oldStep = old.stepFrac;
    const int32_t oldPan = old.finalPan;
    ticks(1);
    EXPECT_EQ(ch(2).voice, &voices[34]);
    EXPECT_EQ(old.posInt, 300u);   // keeps sounding, ramping out
    EXPECT_EQ(old.stepFrac, oldStep);
    EXPECT_EQ(old.targetLeft + old.targetRight, 0);
    EXPECT_EQ(voices[34].currentLeft, 0);      // ramps in from silence
    EXPECT_EQ(voices[34].finalPan, oldPan);    // the note has no instrument to set it
    EXPECT_NE(voices[34].stepFrac, oldStep);   // E-4, not C-4
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

TEST_F(SongTest, SampleOffsetStartsInsideAndSilencesPastTheEnd) {
    put(0, 0, 0, 49, 1, 0, 0x9, 0x02);   // 512 frames in: starts there
    put(0, 1, 0, 51, 0, 0, 0x9, 0x00);   // 900: the memory, 512 again
    put(0, 0, 2, 49, 1);
    put(0, 1, 2, 51, 0, 0, 0x9, 0x04);   // with a note: the note is not started
    start();
    ticks(1);
    EXPECT_EQ(ch(0).voice->posInt, 512u);
    finishRow();
    voices[2].posInt = 700;
    ticks(1);
    EXPECT_EQ(ch(0).voice, &voices[32]);
    EXPECT_EQ(ch(0).voice->posInt, 512u);
    EXPECT_EQ(ch(2).voice, &voices[2]);
    EXPECT_EQ(voices[2].sample, nullptr);
    EXPECT_EQ(voices[34].sample, nullptr);
}

TEST_F(SongTest, ANewNoteRestartsVibratoAndTremoloUnlessWaveControlKeepsThem) {
    for (uint8_t control : {0x00, 0x04, 0x40, 0x44}) {
        SetUp();
        put(0, 0, 0, 49, 1);
        put(0, 1, 0, 51, 0);
        start();
        finishRow();
        ch(0).waveControl = control;
        ch(0).vibPos = -7;
        ch(0).tremPos = 9;
        ticks(1);
        EXPECT_EQ(ch(0).vibPos, control & 0x04 ? -7 : 0) << int(control);
        EXPECT_EQ(ch(0).tremPos, control & 0x40 ? 9 : 0) << int(control);
    }
}

TEST_F(SongTest, ApplyClampsVolumeAndFinalPan) {
    put(0, 0, 0, 49, 1, 0, 0xC, 0x50);      // C50 plays at 64
    put(0, 0, 1, 49, 1, 0x1A, 0xA, 0x0F);   // volume 10, slide down 15
    put(0, 0, 2, 49, 1, 0xEF, 0x8, 0xFA);   // pan 250 + 15 + 15 per tick
    start();
    ticks(2);
    EXPECT_EQ(ch(0).volume, 64);
    EXPECT_EQ(ch(1).volume, 0);                // stopped at the bound, stored back
    EXPECT_EQ(ch(2).voice->finalPan, 255);
    EXPECT_EQ(ch(0).voice->mixVolume, 128);   // 64 x 64 x 65536 x 64 x 255 / 2^35, rounded
}

TEST_F(SongTest, StartStateIsOrderZeroRowZeroWhateverTheRestart) {
    song.restartPosition = 1;
    song.globalVolSlideMem = 0x05;   // left over: would slide down by 5
    fx(0, 0, 0, 0x11, 0x00);         // H00 uses the song-wide memory
    start();
    ticks(4);
    EXPECT_EQ(rowsSeen.front(), std::make_pair(0, 0));
    EXPECT_EQ(song.globalVolume, 64);
}

TEST_F(SongTest, NoteDecodingWrapsTheRelativeNoteInEightBits) {
    const struct { int8_t relative; int8_t finetune; uint8_t note; uint8_t realNote; int32_t period; } cases[] = {
        {0, 0, 49, 48, 4608},
        {-1, 0, 1, 255, 7680 + 64},          // sum 0: realNote -1 in the formula
        {-2, 0, 1, 254, 7680 - 64 * 254},    // sum -1 wraps to a very high note
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
