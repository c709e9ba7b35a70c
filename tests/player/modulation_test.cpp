// Periods, envelopes, auto-vibrato and the period-to-step conversion, checked
// against values worked out by hand from the rules they follow.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "channel.h"
#include "mixer.h"
#include "modulation.h"
#include "module.h"

namespace {

TEST(PowerTest, ExactAtWholeExponentsAndCloseBetween)
{
    for (auto [x, value] : {std::pair{0.0, 13.375}, {1.0, 26.75}, {-2.0, 3.34375}, {10.0, 13696.0}})
        EXPECT_EQ(scaledPow2(x), value) << x;
    EXPECT_EQ(semitonePower(0.0), 13.375);
    for (double x = -40.0; x <= 40.0; x += 0.0137) {
        const double expected = 13.375 * std::exp2(x);
        EXPECT_NEAR(scaledPow2(x) / expected, 1.0, 4.5e-16) << x;
    }
    // The twelfth is the single-precision one: 12 semitones are a hair
    // more than an octave.
    const double twelfth = static_cast<double>(1.0f / 12.0f);
    for (int semitones = -140; semitones <= 140; ++semitones) {
        const double expected = 13.375 * std::exp2(semitones * twelfth);
        EXPECT_NEAR(semitonePower(semitones) / expected, 1.0, 4.5e-16) << semitones;
    }
}

TEST(PowerTest, SurvivesExtremeArguments)
{
    EXPECT_TRUE(std::isfinite(scaledPow2(1e9)));
    EXPECT_GE(scaledPow2(-1e9), 0.0);
    EXPECT_TRUE(std::isfinite(scaledPow2(std::nan(""))));
}

TEST(AmigaPeriodTest, NotesAndFinetunesWithinTheClampedRange)
{
    struct Case {
        int32_t realNote;
        int8_t finetune;
        int32_t period;
    };
    // -1 (a note wrapped to 0) stays a real note an octave below note 11.
    const Case cases[] = {
        {48, 0, 1712},    {95, 0, 113},     {0, 0, 27392},      {48, 64, 1664}, {48, -64, 1763},
        {48, 127, 1616},  {48, -128, 1814}, {-1, 0, 29021},     {-1000, 0, 29021},
    };
    for (const Case& c : cases)
        EXPECT_EQ(amigaPeriod(c.realNote, c.finetune), c.period) << c.realNote << " " << int(c.finetune);
    EXPECT_GT(amigaPeriod(131, 0), 0);
    for (int32_t note : {254, 500}) EXPECT_EQ(amigaPeriod(note, 0), amigaPeriod(131, 0)) << note;
}

// Expected steps are f * 2^32 / 44,100 for the frequency the case names.
TEST(PitchStepTest, StepsForPeriods)
{
    struct Case {
        const char* name;
        bool linear;
        int32_t period, periodDelta;
        uint32_t stepInt, stepFrac;
    };
    const Case cases[] = {
        {"linear centre, 8363 Hz", true, 4608, 0, 0, 814485521},
        {"linear octave up, 16726 Hz", true, 3840, 0, 0, 1628971042},
        {"linear delta is subtracted", true, 4608, 768, 0, 1628971042},
        {"linear far down, 100 Hz floor", true, 9984, 0, 0, 9739154},
        {"linear far up, capped below step 256", true, -3840, 0, 255, 4294869904u},
        {"linear absurd period, capped", true, -2000000000, 1999999999, 255, 4294869904u},
        {"linear zero sum leaves the step", true, 100, -100, 77, 77},
        {"amiga 1712, 8362 Hz", false, 1712, 0, 0, 814388129},
        {"amiga delta is added", false, 1700, 12, 0, 814388129},
        {"amiga 150000, 95 Hz raised to 100", false, 150000, 0, 0, 9739154},
        {"amiga negative, 100 Hz", false, -5000, 0, 0, 9739154},
        {"amiga period 1, capped", false, 1, 0, 255, 4294869904u},
        {"amiga zero sum leaves the step", false, 0, 0, 77, 77},
    };
    for (const Case& c : cases) {
        song.flags = c.linear ? 1 : 0;
        ChannelState channel{};
        channel.period = c.period;
        channel.periodDelta = c.periodDelta;
        Voice voice{};
        voice.stepInt = 77;
        voice.stepFrac = 77;
        pitchStep(&channel, &voice);
        EXPECT_EQ(voice.stepInt, c.stepInt) << c.name;
        EXPECT_EQ(voice.stepFrac, c.stepFrac) << c.name;
    }
}

class EnvelopeTest : public ::testing::Test {
protected:
    InstrumentRecord instrument{};
    ChannelState channel{};
    SampleRecord sample{};

    void SetUp() override
    {
        sample.volume = 40;
        sample.panning = 99;
        resetChannelForSample(&channel, &sample);
    }

    void volumePoints(std::initializer_list<EnvelopePoint> points, uint8_t flags)
    {
        int i = 0;
        for (const EnvelopePoint& p : points) instrument.volumeEnvelope[i++] = p;
        instrument.volumePointCount = static_cast<uint8_t>(i);
        instrument.volumeEnvelopeFlags = flags;
    }

    std::vector<int32_t> run(int ticks, uint8_t which = UpdateVolume)
    {
        std::vector<int32_t> out;
        for (int t = 0; t < ticks; ++t) {
            channel.updateFlags = 0;
            envelopeStep(&channel, &instrument, which);
            EXPECT_EQ(channel.updateFlags, which);
            out.push_back(which == UpdateVolume ? channel.envVolume : channel.envPanning);
        }
        return out;
    }
};

TEST_F(EnvelopeTest, PlainEnvelopeInterpolatesAndFinishes)
{
    volumePoints({{0, 64}, {10, 0}}, EnvelopeOn);
    const std::vector<int32_t> expected = {64, 57, 51, 44, 38, 32, 25, 19, 12, 6, 0, 0, 0, 0};
    EXPECT_EQ(run(14), expected);
    EXPECT_EQ(channel.volEnvDone, 1);
}

TEST_F(EnvelopeTest, SustainHoldsUntilKeyOff)
{
    volumePoints({{0, 64}, {10, 0}}, EnvelopeOn | EnvelopeSustain);
    instrument.volumeSustain = 0;
    EXPECT_EQ(run(5), std::vector<int32_t>(5, 64));
    EXPECT_EQ(channel.volEnvTick, 0);
    channel.keyOff = 1;
    const std::vector<int32_t> expected = {64, 57, 51, 44};
    EXPECT_EQ(run(4), expected);
}

TEST_F(EnvelopeTest, LoopRepeatsWithoutOutputtingTheLoopEndValue)
{
    volumePoints({{0, 64}, {4, 32}}, EnvelopeOn | EnvelopeLoop);
    instrument.volumeLoopStart = 0;
    instrument.volumeLoopEnd = 1;
    const std::vector<int32_t> expected = {64, 56, 48, 40, 64, 56, 48, 40, 64, 56, 48, 40};
    EXPECT_EQ(run(12), expected);
    EXPECT_EQ(channel.volEnvDone, 0);
}

TEST_F(EnvelopeTest, PanningEnvelopeUsesItsOwnFields)
{
    instrument.panningEnvelope[0] = {0, 32};
    instrument.panningEnvelope[1] = {2, 0};
    instrument.panningPointCount = 2;
    instrument.panningEnvelopeFlags = EnvelopeOn;
    const std::vector<int32_t> expected = {32, 16, 0, 0};
    EXPECT_EQ(run(4, UpdatePanning), expected);
    EXPECT_EQ(channel.panEnvDone, 1);
    EXPECT_EQ(channel.volEnvDone, 0);
    EXPECT_EQ(channel.envVolume, 64);
}

TEST_F(EnvelopeTest, MalformedEnvelopesStayInRange)
{
    struct Case {
        std::vector<EnvelopePoint> points;
        uint8_t count, flags, loopStart, loopEnd, sustain;
    };
    const Case cases[] = {
        {{{0, 64}, {10, 0}, {5, 64}, {2, 0}}, 4, EnvelopeOn, 0, 0, 0},             // x going back
        {{{0, 0}, {1, 64}, {1, 0}}, 3, EnvelopeOn, 0, 0, 0},                        // equal x
        {{{0, 64}, {4, 0}}, 200, EnvelopeOn | EnvelopeLoop, 150, 1, 0},            // counts past 12
        {{{0, 64}, {4, 0}, {8, 64}}, 3, EnvelopeOn | EnvelopeLoop, 9, 2, 0},       // loop start past the points
        {{{0, 60000}, {4, 40000}}, 2, EnvelopeOn | EnvelopeSustain, 0, 0, 1},      // values above 64
    };
    for (const Case& c : cases) {
        instrument = InstrumentRecord{};
        for (size_t i = 0; i < c.points.size(); ++i) instrument.volumeEnvelope[i] = c.points[i];
        instrument.volumePointCount = c.count;
        instrument.volumeEnvelopeFlags = c.flags;
        instrument.volumeLoopStart = c.loopStart;
        instrument.volumeLoopEnd = c.loopEnd;
        instrument.volumeSustain = c.sustain;
        resetChannelForSample(&channel, &sample);
        for (int32_t v : run(3000)) {
            ASSERT_GE(v, 0);
            ASSERT_LE(v, 64);
        }
    }
}

TEST(ResetChannelTest, RestartsEverythingFromTheSample)
{
    SampleRecord sample{};
    sample.volume = 48;
    sample.panning = 200;
    ChannelState channel;
    std::memset(&channel, 0x5A, sizeof channel);
    channel.updateFlags = UpdatePitch;
    const int32_t volEnvValue = channel.volEnvValue;
    resetChannelForSample(&channel, &sample);
    EXPECT_EQ(channel.volume, 48);
    EXPECT_EQ(channel.panning, 200);
    EXPECT_EQ(channel.envVolume, 64);
    EXPECT_EQ(channel.envPanning, 32);
    EXPECT_EQ(channel.fadeVolume, 65536);
    for (int32_t field : {channel.volEnvTick, channel.volEnvPoint, channel.volEnvSlope,
                          channel.panEnvPoint, channel.panEnvTick, channel.panEnvSlope,
                          channel.autoVibSweep, channel.autoVibPos})
        EXPECT_EQ(field, 0);
    for (uint8_t field : {channel.keyOff, channel.volEnvDone, channel.panEnvDone, channel.tremorCount})
        EXPECT_EQ(field, 0);
    EXPECT_EQ(channel.volEnvValue, volEnvValue);   // the first envelope step sets it
    EXPECT_EQ(channel.updateFlags, UpdatePitch | UpdateVolume | UpdatePanning);
}

TEST(AutoVibratoTest, SweepRaisesTheDepthOverItsTicks)
{
    InstrumentRecord instrument{};
    instrument.vibratoType = 1;
    instrument.vibratoSweep = 4;
    instrument.vibratoDepth = 16;
    instrument.vibratoRate = 0;
    ChannelState channel{};
    std::vector<int32_t> offsets;
    for (int tick = 0; tick < 7; ++tick) {
        channel.periodDelta = 0;
        channel.updateFlags = 0;
        autoVibratoStep(&channel, &instrument);
        EXPECT_EQ(channel.updateFlags, UpdatePitch);
        offsets.push_back(channel.periodDelta);
    }
    EXPECT_EQ(offsets, (std::vector<int32_t>{0, 4, 8, 12, 16, 16, 16}));

    // The position advances by the rate and wraps; no depth adds nothing.
    instrument = InstrumentRecord{};
    instrument.vibratoRate = 200;
    channel.autoVibPos = 100;
    channel.periodDelta = 5;
    autoVibratoStep(&channel, &instrument);
    EXPECT_EQ(channel.autoVibPos, 44);
    EXPECT_EQ(channel.periodDelta, 5);
}

TEST(AutoVibratoTest, Waveforms)
{
    struct Case {
        uint8_t type;
        int32_t pos;
        uint8_t depth;
        int32_t offset;
    };
    // With depth 64 the offset is the waveform value itself.
    const Case cases[] = {
        {0, 0, 64, 0},    {0, 1, 64, 2},     {0, 32, 64, 45},  {0, 64, 64, 64},  {0, 96, 64, 45},
        {0, 128, 64, 0},  {0, 160, 64, -45}, {0, 192, 64, -64}, {0, 255, 64, -2},
        {0, 32, 16, 11},  {0, 160, 16, -12},   // 720 >> 6 and -720 >> 6
        {1, 0, 64, 64},   {1, 127, 64, 64},  {1, 128, 64, -64}, {1, 255, 64, -64},
        {2, 0, 64, 0},    {2, 1, 64, -1},    {2, 127, 64, -64}, {2, 128, 64, 64}, {2, 129, 64, 63},
        {2, 255, 64, 0},
        {3, 0, 64, 0},    {3, 2, 64, 1},     {3, 127, 64, 63},  {3, 128, 64, 64}, {3, 129, 64, -64},
        {3, 255, 64, -1}, {7, 128, 64, 64},
    };
    for (const Case& c : cases) {
        InstrumentRecord instrument{};
        instrument.vibratoType = c.type;
        instrument.vibratoDepth = c.depth;
        ChannelState channel{};
        channel.autoVibPos = c.pos;
        autoVibratoStep(&channel, &instrument);
        EXPECT_EQ(channel.periodDelta, c.offset) << int(c.type) << " at " << c.pos;
    }
}

TEST(ChannelTest, TwinVoicesPairAcrossTheHalves)
{
    for (uint32_t k = 0; k < 32; ++k) {
        EXPECT_EQ(twinVoice(&voices[k]), &voices[k + 32]);
        EXPECT_EQ(twinVoice(&voices[k + 32]), &voices[k]);
    }
}

}  // namespace
