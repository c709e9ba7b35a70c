// The shared modulation steps with the numbers they must produce, and the
// effect memories as rows of a song use them.
#include <initializer_list>

#include "effects.h"
#include "song_fixture.h"

using namespace songfixture;

TEST(VibratoStep, SineAtPlusAndMinusEightWithDepthFifteen) {
    const struct { int8_t pos; uint8_t control; uint8_t depth; int32_t delta; } cases[] = {
        {8, 0, 15, -84},     // 181 x 15 >> 5 = 84
        {-8, 0, 15, 84},
        {16, 0, 15, -120},   // 256 x 15 >> 5 = 120
        {0, 0, 15, 0},
        {4, 1, 8, -8},       // ramp: 32 x 8 >> 5 = 8
        {-8, 1, 8, 12},      // ramp below 0: 255 - 192 = 63; 63 x 8 >> 5 = 15, low bits cleared
        {5, 2, 4, -28},      // square: 255 x 4 >> 5 = 31 -> 28
        {-5, 3, 4, 28},
    };
    for (const auto& c : cases) {
        ChannelState ch = {};
        ch.vibPos = c.pos;
        ch.waveControl = c.control;
        ch.vibDepth = c.depth;
        vibratoStep(&ch);
        EXPECT_EQ(ch.periodDelta, c.delta) << int(c.pos) << " wave " << int(c.control);
        EXPECT_EQ(ch.vibPos, c.pos);   // not advanced by the step
    }
}

TEST(VibratoStep, PositionRunsMinus32To31) {
    ChannelState ch = {};
    ch.vibSpeed = 15;
    for (int8_t pos : {15, 30, -19, -4, 11, 26, -23}) {
        advanceVibrato(&ch);
        EXPECT_EQ(ch.vibPos, pos);
    }
}

TEST(TremoloStep, OffsetIsAmplitudeTimesDepthShiftedBySixWithinTheVolumeRange) {
    const struct { int8_t pos; uint8_t control; uint8_t depth; int32_t volume; int32_t delta; } cases[] = {
        {16, 0, 8, 20, 32},     // 256 x 8 >> 6
        {16, 0, 8, 40, 24},     // limited to 64 - 40
        {-16, 0, 8, 40, -32},
        {-16, 0, 8, 20, -20},   // limited to the volume
        {8, 0, 15, 1, 42},      // 181 x 15 >> 6
        {8, 3, 15, 1, 42},      // waveform 3 is the sine too
        {8, 2, 4, 1, 15},       // square: 255 x 4 >> 6
        {0, 0, 15, 30, 0},
        {16, 0, 8, 0, 0},       // a silent channel stays silent
    };
    for (const auto& c : cases) {
        ChannelState ch = {};
        ch.tremPos = c.pos;
        ch.waveControl = static_cast<uint8_t>(c.control << 4);
        ch.tremDepth = c.depth;
        ch.tremSpeed = 4;
        ch.volume = c.volume;
        tremoloStep(&ch);
        EXPECT_EQ(ch.volumeDelta, c.delta) << int(c.pos) << " " << c.volume;
        EXPECT_EQ(ch.tremPos, c.pos);   // not advanced by the step
    }
}

TEST(TonePortaStep, SixteenFrom4608To4352ArrivesOnTheFourthTick) {
    ChannelState ch = {};
    ch.period = 4608;
    ch.portaTarget = 4352;
    ch.portaSpeed = 16;
    ch.periodDelta = 9;
    for (int32_t period : {4544, 4480, 4416, 4352, 4352}) {
        tonePortaStep(&ch);
        EXPECT_EQ(ch.period, period);
        EXPECT_EQ(ch.periodDelta, 0);
    }
    ch.portaTarget = 4400;   // upwards, not beyond
    tonePortaStep(&ch);
    EXPECT_EQ(ch.period, 4400);
}

TEST(TremorStep, SoundsOnPlusOneTicksThenSilentOffPlusOne) {
    ChannelState ch = {};
    ch.tremorOn = 1;
    ch.tremorOff = 2;
    ch.volume = 40;
    for (bool silent : {false, false, true, true, true, false, false, true, true, true}) {
        ch.volumeDelta = 0;
        tremorStep(&ch);
        EXPECT_EQ(ch.volumeDelta, silent ? -40 : 0);
    }
}

TEST(VolumeColumn, RowAndTickCommands) {
    const struct { uint8_t v; int32_t rowVolume; int32_t tickVolume; int32_t rowPan; int32_t tickPan; } cases[] = {
        {0x05, 30, 30, 100, 100},
        {0x10, 0, 0, 100, 100},
        {0x50, 64, 64, 100, 100},
        {0x55, 30, 30, 100, 100},
        {0x63, 30, 27, 100, 100},    // slides on the later ticks only
        {0x73, 30, 33, 100, 100},
        {0x83, 27, 27, 100, 100},    // fine: tick 0 only
        {0x93, 33, 33, 100, 100},
        {0xC4, 30, 30, 64, 64},
        {0xD3, 30, 30, 97, 94},
        {0xE3, 30, 30, 103, 106},
    };
    for (const auto& c : cases) {
        ChannelState ch = {};
        ch.volume = 30;
        ch.panning = 100;
        volumeColumnRow(&ch, c.v);
        EXPECT_EQ(ch.volume, c.rowVolume) << std::hex << int(c.v);
        EXPECT_EQ(ch.panning, c.rowPan) << std::hex << int(c.v);
        volumeColumnTick(&ch, c.v);
        EXPECT_EQ(ch.volume, c.tickVolume) << std::hex << int(c.v);
        EXPECT_EQ(ch.panning, c.tickPan) << std::hex << int(c.v);
    }
}

// That the column's portamento does not restart the note is checked on a song below.
TEST(VolumeColumn, TonePortamentoSpeedAndItsMemory) {
    ChannelState ch = {};
    volumeColumnRow(&ch, 0xF2);
    EXPECT_EQ(ch.portaSpeed, 32);
    volumeColumnRow(&ch, 0xF0);   // F0 keeps the speed
    EXPECT_EQ(ch.portaSpeed, 32);
}

// --- effects as rows of a song -----------------------------------------

// After one block of 1024 frames: a tempo set on tick 0 already sets that tick's length.
TEST_F(SongTest, SpeedTempoAndGlobalVolumeParameters) {
    const struct { uint8_t effect, param; int32_t speed, tickFrames, framesLeft, global; } cases[] = {
        {0xF, 0x00, 0, 882, 2 * 882 - 1024, 48},   {0xF, 0x1F, 31, 882, 2 * 882 - 1024, 48},
        {0xF, 0x20, 4, 3445, 3445 - 1024, 48},      {0xF, 0xFF, 4, 432, 3 * 432 - 1024, 48},
        {0x10, 0x41, 4, 882, 2 * 882 - 1024, 64},   {0x10, 0xFF, 4, 882, 2 * 882 - 1024, 64},
        {0x10, 0x20, 4, 882, 2 * 882 - 1024, 32},
    };
    for (const auto& c : cases) {
        SetUp();
        fx(0, 0, 0, 0x10, 0x30);   // G30 first, so G41 has something to raise
        fx(0, 0, 1, c.effect, c.param);
        start();
        renderBlock();
        EXPECT_EQ(song.speed, c.speed) << std::hex << int(c.effect) << int(c.param);
        EXPECT_EQ(song.tickFrames, c.tickFrames) << std::hex << int(c.effect) << int(c.param);
        EXPECT_EQ(song.tickFramesLeft, c.framesLeft) << std::hex << int(c.effect) << int(c.param);
        EXPECT_EQ(song.globalVolume, c.global) << std::hex << int(c.effect) << int(c.param);
    }
}

TEST_F(SongTest, GlobalVolumeSlideSharesOneMemoryForTheSong) {
    fx(0, 0, 0, 0x10, 0x20);   // G20
    fx(0, 1, 0, 0x11, 0x02);   // H02: down 2 per tick
    fx(0, 2, 1, 0x11, 0x00);   // H00 on two channels: twice per tick
    fx(0, 2, 2, 0x11, 0x00);
    start();
    for (int32_t v : {32, 32 - 3 * 2, 26 - 3 * 4}) {
        finishRow();
        EXPECT_EQ(song.globalVolume, v);
    }
}

TEST_F(SongTest, VolumeSlideMemories) {
    const struct { const char* name; uint8_t column; NoteCell rows[5]; int32_t volumes[5]; } cases[] = {
        {"EA and EB each keep their own", 0x30,   // volume 32, up 3, up 3 again, down 2, EA0 repeats the up
         {{}, {0, 0, 0, 0xE, 0xA3}, {0, 0, 0, 0xE, 0xA0}, {0, 0, 0, 0xE, 0xB2}, {0, 0, 0, 0xE, 0xA0}},
         {32, 35, 38, 36, 39}},
        {"A, 6 and 5 share one memory", 0x50,         // A02 down 2, 600, 500, A10 up 1, 600
         {{0, 0, 0, 0xA, 0x02}, {0, 0, 0, 0x6, 0}, {0, 0, 0, 0x5, 0}, {0, 0, 0, 0xA, 0x10}, {0, 0, 0, 0x6, 0}},
         {58, 52, 46, 49, 52}},
    };
    for (const auto& c : cases) {
        SetUp();
        for (int r = 0; r < 5; ++r)
            put(0, r, 0, r ? 0 : 49, r ? 0 : 1, r ? 0 : c.column, c.rows[r].effect, c.rows[r].effectParam);
        start();
        for (int32_t v : c.volumes) {
            finishRow();
            EXPECT_EQ(ch(0).volume, v) << c.name;
        }
    }
}

TEST_F(SongTest, VibratoMemoriesAreSharedWithTheVolumeColumn) {
    put(0, 0, 0, 49, 1, 0xA3);              // vibrato speed 3
    put(0, 1, 0, 0, 0, 0xB8, 0x4, 0x00);    // depth 8 from the column, 400 uses both
    start();
    finishRow();
    EXPECT_EQ(ch(0).vibSpeed, 3);
    ticks(1);
    EXPECT_EQ(ch(0).vibDepth, 8);
    EXPECT_EQ(ch(0).vibPos, 0);
    ticks(1);   // column By steps and advances, then effect 4 steps and advances
    EXPECT_EQ(ch(0).vibPos, 6);
    EXPECT_EQ(ch(0).periodDelta, -((74 * 8 >> 5) & ~3));   // effect 4 steps at position 3
}

TEST_F(SongTest, TonePortamentoSpeedIsSharedWithTheVolumeColumn) {
    put(0, 0, 0, 49, 1);
    put(0, 1, 0, 50, 0, 0xF1);           // column F1: speed 16, 64 a tick: there at once
    put(0, 2, 0, 53, 0, 0, 0x3, 0x00);   // 300 uses speed 16
    start();
    finishRow();
    Voice* v = ch(0).voice;
    finishRow();
    EXPECT_EQ(ch(0).period, 4608 - 64);
    EXPECT_EQ(ch(0).voice, v);           // the column's portamento does not restart the note
    ticks(2);
    EXPECT_EQ(ch(0).portaTarget, 4608 - 4 * 64);
    EXPECT_EQ(ch(0).period, 4608 - 64 - 64);
}

TEST_F(SongTest, PortamentosAndTheirLimits) {
    put(0, 0, 0, 49, 1, 0, 0x1, 0xFF);    // porta up by 1020 per tick, stops at 56
    fx(0, 1, 0, 0x1, 0x00);
    put(0, 0, 1, 49, 1, 0, 0x2, 0x10);    // porta down by 64 per tick
    put(0, 0, 2, 49, 1, 0, 0xE, 0x12);    // fine up 8
    fx(0, 1, 2, 0xE, 0x10);               // fine up again from memory
    put(0, 0, 3, 49, 1, 0, 0x21, 0x23);   // extra fine down 3
    fx(0, 1, 3, 0x21, 0x20);              // and again from memory
    start();
    finishRow();
    EXPECT_EQ(ch(0).period, 1548);
    EXPECT_EQ(ch(1).period, 4608 + 3 * 64);
    EXPECT_EQ(ch(2).period, 4600);
    EXPECT_EQ(ch(3).period, 4611);
    finishRow();
    EXPECT_EQ(ch(0).period, 56);
    EXPECT_EQ(ch(2).period, 4592);
    EXPECT_EQ(ch(3).period, 4614);
}

TEST_F(SongTest, PanningSlideAndCoarsePanning) {
    put(0, 0, 0, 49, 1, 0, 0x19, 0xF0);   // P F0: right by 15, up to 255
    put(0, 0, 1, 49, 1, 0, 0xE, 0x8F);    // E8F: 240
    put(0, 0, 2, 49, 1, 0, 0x8, 0x10);    // 810
    start();
    finishRow();
    EXPECT_EQ(ch(0).panning, 128 + 3 * 15);
    EXPECT_EQ(ch(1).panning, 240);
    EXPECT_EQ(ch(2).voice->finalPan, 16);
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
