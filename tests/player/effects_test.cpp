// The shared modulation steps with the numbers they must produce, and the
// effect memories as rows of a song use them.
#include "effects.h"
#include "song_fixture.h"

using namespace songfixture;

namespace {

ChannelState fresh() {
    ChannelState c = {};
    return c;
}

}  // namespace

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
        ChannelState ch = fresh();
        ch.vibPos = c.pos;
        ch.waveControl = c.control;
        ch.vibDepth = c.depth;
        vibratoStep(&ch);
        EXPECT_EQ(ch.periodDelta, c.delta) << int(c.pos) << " wave " << int(c.control);
        EXPECT_TRUE(ch.updateFlags & UpdatePitch);
        EXPECT_EQ(ch.vibPos, c.pos);   // not advanced by the step
    }
}

TEST(VibratoStep, PositionRunsMinus32To31) {
    ChannelState ch = fresh();
    ch.vibSpeed = 15;
    const int8_t expected[] = {15, 30, -19, -4, 11, 26, -23};
    for (int8_t pos : expected) {
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
        {8, 0, 15, 0, 42},      // 181 x 15 >> 6
        {8, 3, 15, 0, 42},      // waveform 3 is the sine too
        {8, 2, 4, 0, 15},       // square: 255 x 4 >> 6
        {0, 0, 15, 30, 0},
    };
    for (const auto& c : cases) {
        ChannelState ch = fresh();
        ch.tremPos = c.pos;
        ch.waveControl = static_cast<uint8_t>(c.control << 4);
        ch.tremDepth = c.depth;
        ch.tremSpeed = 4;
        ch.volume = c.volume;
        tremoloStep(&ch);
        EXPECT_EQ(ch.volumeDelta, c.delta) << int(c.pos) << " " << c.volume;
        EXPECT_TRUE(ch.updateFlags & UpdateVolume);
        EXPECT_NE(ch.tremPos, c.pos);   // advanced
    }
}

TEST(TonePortaStep, SixteenFrom4608To4352ArrivesOnTheFourthTick) {
    ChannelState ch = fresh();
    ch.period = 4608;
    ch.portaTarget = 4352;
    ch.portaSpeed = 16;
    ch.periodDelta = 9;
    const int32_t expected[] = {4544, 4480, 4416, 4352, 4352};
    for (int32_t period : expected) {
        tonePortaStep(&ch);
        EXPECT_EQ(ch.period, period);
        EXPECT_EQ(ch.periodDelta, 0);
    }
    ch.portaTarget = 4400;   // upwards, not beyond
    tonePortaStep(&ch);
    EXPECT_EQ(ch.period, 4400);
    ch.portaSpeed = 0;
    ch.portaTarget = 5000;
    tonePortaStep(&ch);
    EXPECT_EQ(ch.period, 4400);
}

TEST(TremorStep, SoundsOnPlusOneTicksThenSilentOffPlusOne) {
    ChannelState ch = fresh();
    ch.tremorOn = 1;
    ch.tremorOff = 2;
    ch.volume = 40;
    const bool silent[] = {false, false, true, true, true, false, false, true, true, true};
    for (bool s : silent) {
        ch.volumeDelta = 0;
        tremorStep(&ch);
        EXPECT_EQ(ch.volumeDelta, s ? -40 : 0);
    }
}

TEST(RetrigVolumeTable, EveryEntry) {
    const int32_t v = 40;
    const int32_t expected[16] = {40, 39, 38, 36, 32, 24, 26, 20, 40, 41, 42, 44, 48, 56, 60, 80};
    for (int x = 0; x < 16; ++x)
        EXPECT_EQ(retrigVolumeTable[x](v), expected[x]) << x;
    EXPECT_EQ(retrigVolumeTable[6](64), 42);
    EXPECT_EQ(retrigVolumeTable[0xE](40), 60);
    EXPECT_EQ(retrigVolumeTable[5](10), -6);
    EXPECT_EQ(retrigVolumeTable[6](-7), -4);   // 2v/3 truncates toward zero
    EXPECT_EQ(retrigVolumeTable[7](-7), -4);   // v/2 floors
}

TEST(VolumeColumn, RowAndTickCommands) {
    const struct { uint8_t v; int32_t rowVolume; int32_t tickVolume; int32_t rowPan; int32_t tickPan; } cases[] = {
        {0x05, 30, 30, 100, 100},
        {0x10, 0, 0, 100, 100},
        {0x50, 64, 64, 100, 100},
        {0x55, 30, 30, 100, 100},
        {0x63, 27, 24, 100, 100},    // slides act on tick 0 too
        {0x73, 33, 36, 100, 100},
        {0x83, 27, 27, 100, 100},    // fine: tick 0 only
        {0x93, 33, 33, 100, 100},
        {0xC4, 30, 30, 64, 64},
        {0xD3, 30, 30, 97, 94},
        {0xE3, 30, 30, 103, 106},
    };
    for (const auto& c : cases) {
        ChannelState ch = fresh();
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

TEST(VolumeColumn, TonePortamentoKeepsPitchUpdateButNotTheStart) {
    ChannelState ch = fresh();
    ch.notePeriod = 4000;
    ch.updateFlags = UpdatePitch | UpdateVolume | StartSample;
    volumeColumnRow(&ch, 0xF2);
    EXPECT_EQ(ch.updateFlags, UpdatePitch | UpdateVolume);
    EXPECT_EQ(ch.portaSpeed, 32);
    EXPECT_EQ(ch.portaTarget, 4000);
    volumeColumnRow(&ch, 0xF0);   // F0 keeps the speed
    EXPECT_EQ(ch.portaSpeed, 32);
}

// --- effects as rows of a song -----------------------------------------

TEST_F(SongTest, SpeedTempoAndGlobalVolumeParameters) {
    const struct { uint8_t effect; uint8_t param; int32_t speed; int32_t tickFrames; int32_t global; } cases[] = {
        {0xF, 0x00, 0, 882, 64},
        {0xF, 0x1F, 31, 882, 64},
        {0xF, 0x20, 4, 3445, 64},
        {0xF, 0xFF, 4, 432, 64},
        {0x10, 0x41, 4, 882, 64},
        {0x10, 0xFF, 4, 882, 64},
        {0x10, 0x20, 4, 882, 32},
    };
    for (const auto& c : cases) {
        SetUp();
        put(0, 0, 0, 0, 0, 0, 0x10, 0x30);   // G30 first, so G41 has something to raise
        put(0, 0, 1, 0, 0, 0, c.effect, c.param);
        start();
        ticks(1);
        EXPECT_EQ(song.speed, c.speed) << std::hex << int(c.effect) << int(c.param);
        EXPECT_EQ(song.tickFrames, c.tickFrames) << std::hex << int(c.effect) << int(c.param);
        if (c.effect == 0x10) {
            EXPECT_EQ(song.globalVolume, c.global) << std::hex << int(c.param);
        }
    }
}

TEST_F(SongTest, GlobalVolumeSlideSharesOneMemoryForTheSong) {
    put(0, 0, 0, 0, 0, 0, 0x10, 0x20);   // G20
    put(0, 1, 0, 0, 0, 0, 0x11, 0x02);   // H02: down 2 per tick
    put(0, 2, 1, 0, 0, 0, 0x11, 0x00);   // H00 on two channels: twice per tick
    put(0, 2, 2, 0, 0, 0, 0x11, 0x00);
    start();
    finishRow();
    EXPECT_EQ(song.globalVolume, 32);
    finishRow();
    EXPECT_EQ(song.globalVolume, 32 - 3 * 2);
    finishRow();
    EXPECT_EQ(song.globalVolume, 26 - 3 * 4);
}

TEST_F(SongTest, FineVolumeSlidesShareOneSignedMemory) {
    put(0, 0, 0, 49, 1, 0x30, 0, 0);       // volume 32
    put(0, 1, 0, 0, 0, 0, 0xE, 0xA3);      // up 3
    put(0, 2, 0, 0, 0, 0, 0xE, 0xA0);      // up 3 again
    put(0, 3, 0, 0, 0, 0, 0xE, 0xB2);      // down 2
    put(0, 4, 0, 0, 0, 0, 0xE, 0xA0);      // EA0 repeats the down slide
    start();
    const int32_t expected[] = {32, 35, 38, 36, 34};
    for (int32_t v : expected) {
        finishRow();
        EXPECT_EQ(ch(0).volume, v);
    }
}

TEST_F(SongTest, VolumeSlideMemoryIsSharedByASixAndFive) {
    put(0, 0, 0, 49, 1, 0x50, 0xA, 0x02);  // A02: down 2 per tick
    put(0, 1, 0, 0, 0, 0, 0x6, 0x00);      // 600: vibrato + the same slide
    put(0, 2, 0, 0, 0, 0, 0x5, 0x00);      // 500: tone porta + the same slide
    put(0, 3, 0, 0, 0, 0, 0xA, 0x10);      // A10: up 1
    put(0, 4, 0, 0, 0, 0, 0x6, 0x00);
    start();
    const int32_t expected[] = {58, 52, 46, 49, 52};
    for (int32_t v : expected) {
        finishRow();
        EXPECT_EQ(ch(0).volume, v);
    }
}

TEST_F(SongTest, VibratoMemoriesAreSharedWithTheVolumeColumn) {
    put(0, 0, 0, 49, 1, 0xA3, 0, 0);       // vibrato speed 3
    put(0, 1, 0, 0, 0, 0xB8, 0x4, 0x00);   // depth 8 from the column, 400 uses both
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
    put(0, 0, 0, 49, 1, 0, 0, 0);
    put(0, 1, 0, 50, 0, 0xF1, 0, 0);       // column F1: speed 16, but the note sets the period at once
    put(0, 2, 0, 53, 0, 0, 0x3, 0x00);     // 300 uses speed 16
    start();
    finishRow();
    finishRow();
    EXPECT_EQ(ch(0).period, 4608 - 64);
    EXPECT_EQ(ch(0).portaSpeed, 16);
    ticks(2);
    EXPECT_EQ(ch(0).portaTarget, 4608 - 4 * 64);
    EXPECT_EQ(ch(0).period, 4608 - 64 - 64);
}

TEST_F(SongTest, TremoloOffsetJoinsTheVolumeWhenTheTremoloEnds) {
    put(0, 0, 0, 49, 1, 0x30, 0x7, 0x48);   // volume 32, speed 4 depth 8
    put(0, 1, 0, 0, 0, 0, 0, 0);
    start();
    ticks(2);   // tick 1: position 0, offset 0; position advances to 4
    EXPECT_EQ(ch(0).volumeDelta, 0);
    ticks(1);   // position 4: 98 x 8 >> 6 = 12
    EXPECT_EQ(ch(0).volumeDelta, 12);
    const int32_t mixWithOffset = ch(0).voice->mixVolume;
    ticks(1);   // position 8: 181 x 8 >> 6 = 22
    EXPECT_EQ(ch(0).volumeDelta, 22);
    EXPECT_GT(ch(0).voice->mixVolume, mixWithOffset);
    ticks(1);   // next row, no tremolo: 32 + 22
    EXPECT_EQ(ch(0).volume, 54);
}

TEST_F(SongTest, FinetuneEffectChangesTheSampleForLaterNotes) {
    put(0, 0, 0, 49, 1, 0, 0xE, 0x58);
    put(0, 1, 0, 49, 1, 0, 0, 0);
    start();
    finishRow();
    EXPECT_EQ(storage.samples[0].finetune, 8);
    ticks(1);
    EXPECT_EQ(ch(0).period, 4608 - 4);
}

TEST_F(SongTest, PortamentosAndTheirLimits) {
    put(0, 0, 0, 49, 1, 0, 0x1, 0xFF);   // porta up by 1020 per tick, stops at 56
    put(0, 0, 1, 49, 1, 0, 0x2, 0x10);   // porta down by 64 per tick
    put(0, 0, 2, 49, 1, 0, 0xE, 0x12);   // fine up 8
    put(0, 1, 2, 0, 0, 0, 0xE, 0x10);    // fine up again from memory
    put(0, 0, 3, 49, 1, 0, 0x21, 0x23);  // extra fine down 3
    put(0, 1, 3, 0, 0, 0, 0x21, 0x20);   // and again from memory
    put(0, 1, 0, 0, 0, 0, 0x1, 0x00);
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

TEST_F(SongTest, ArpeggioCyclesBaseXYByTick) {
    song.defaultSpeed = 6;
    put(0, 0, 0, 49, 1, 0, 0x0, 0x47);
    start();
    const int32_t expected[] = {0, 4 * 64, 7 * 64, 0, 4 * 64, 7 * 64};
    for (int32_t delta : expected) {
        ticks(1);
        EXPECT_EQ(ch(0).periodDelta, delta);
    }
}

TEST_F(SongTest, PanningSlideAndCoarsePanning) {
    put(0, 0, 0, 49, 1, 0, 0x19, 0xF0);   // P F0: right by 15, up to 255
    put(0, 0, 1, 49, 1, 0, 0xE, 0x8F);    // E8F: 240
    put(0, 0, 2, 49, 1, 0, 0x8, 0x10);    // 810
    start();
    finishRow();
    EXPECT_EQ(ch(0).panning, 128 + 3 * 15);
    EXPECT_EQ(ch(1).panning, 240);
    EXPECT_EQ(ch(2).panning, 16);
    EXPECT_EQ(ch(2).voice->finalPan, 16);
}

TEST_F(SongTest, SetEnvelopePositionJumpsIntoTheVolumeEnvelope) {
    InstrumentRecord& ins = storage.instruments[0];
    ins.volumeEnvelope[0] = {0, 64};
    ins.volumeEnvelope[1] = {10, 0};
    ins.volumeEnvelope[2] = {20, 32};
    ins.volumePointCount = 3;
    ins.volumeEnvelopeFlags = EnvelopeOn;
    put(0, 0, 0, 49, 1, 0, 0x15, 5);     // L05: halfway down the first segment
    put(0, 0, 1, 49, 1, 0, 0x15, 30);    // past the last point
    start();
    ticks(1);
    EXPECT_EQ(ch(0).envVolume, 32);
    EXPECT_EQ(ch(0).volEnvPoint, 1);
    EXPECT_EQ(ch(1).envVolume, 32);
    EXPECT_EQ(ch(1).volEnvDone, 1);
    ticks(1);
    EXPECT_EQ(ch(0).envVolume, 25);   // 64 x 65536 + 6 x -419430, >> 16
}
