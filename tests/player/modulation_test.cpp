// Periods, envelopes, auto-vibrato and the period-to-step conversion, checked
// against values worked out by hand from the rules they follow.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "channel.h"
#include "mixer.h"
#include "modulation.h"
#include "module.h"

using namespace introplayer;

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
        {"linear delta is added, as to Amiga periods", true, 4608, -768, 0, 1628971042},
        {"linear far down, 100 Hz floor", true, 9984, 0, 0, 9739154},
        {"linear absurd period, capped", true, -2000000000, -1999999999, 255, 4294869904u},
        {"linear zero sum leaves the step", true, 100, -100, 77, 77},
        {"amiga 1712, 8362 Hz", false, 1712, 0, 0, 814388129},
        {"amiga delta is added", false, 1700, 12, 0, 814388129},
        {"amiga 150000, 95 Hz raised to 100", false, 150000, 0, 0, 9739154},
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

// Envelopes no well-formed file holds (the loader repairs them, a caller
// filling the records might not): the value stays within 0 .. 64.
TEST(EnvelopeTest, MalformedEnvelopesStayInRange)
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
        InstrumentRecord instrument{};
        for (size_t i = 0; i < c.points.size(); ++i) instrument.volumeEnvelope[i] = c.points[i];
        instrument.volumePointCount = c.count;
        instrument.volumeEnvelopeFlags = c.flags;
        instrument.volumeLoopStart = c.loopStart;
        instrument.volumeLoopEnd = c.loopEnd;
        instrument.volumeSustain = c.sustain;
        SampleRecord sample{};
        ChannelState channel{};
        resetChannelForSample(&channel, &sample);
        for (int t = 0; t < 3000; ++t) {
            envelopeStep(&channel, &instrument, UpdateVolume);
            ASSERT_TRUE(channel.envVolume >= 0 && channel.envVolume <= 64) << channel.envVolume;
        }
    }
}

TEST(AutoVibratoTest, WaveformsAndSweep)
{
    struct Case {
        uint8_t type;
        int32_t pos;
        uint8_t depth;
        int32_t offset;
    };
    // With depth 64 the offset is the waveform value itself, taken from the
    // period (a rise in pitch).
    const Case cases[] = {
        {1, 0, 64, -64},  {1, 127, 64, -64}, {1, 128, 64, 64},  {1, 255, 64, 64},                    // square
        {2, 0, 64, 0},    {2, 1, 64, 1},     {2, 127, 64, 64},  {2, 128, 64, -64}, {2, 255, 64, 0}, // ramp down
        {3, 0, 64, 0},    {3, 2, 64, -1},    {3, 127, 64, -63}, {3, 128, 64, -64}, {3, 129, 64, 64},
        {3, 255, 64, 1},  {7, 128, 64, -64},  // ramp up; types past 3 wrap
        {0, 32, 16, -11}, {0, 160, 16, 11},   // the sine: 720 / 64 and -720 / 64, toward zero
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
    for (int32_t p = 0; p < 256; ++p) {   // the sine at depth 64 is round(64 sin(pi p / 128)) itself
        InstrumentRecord instrument{};
        instrument.vibratoDepth = 64;
        ChannelState channel{};
        channel.autoVibPos = p;
        autoVibratoStep(&channel, &instrument);
        ASSERT_EQ(channel.periodDelta, -std::lround(64 * std::sin(M_PI * p / 128))) << p;
    }
    // The square at depth 16 reached over a sweep of 4 ticks, the position
    // advancing by the rate (before it is read) and wrapping.
    InstrumentRecord instrument{};
    instrument.vibratoType = 1;
    instrument.vibratoSweep = 4;
    instrument.vibratoDepth = 16;
    instrument.vibratoRate = 100;
    ChannelState channel{};
    std::vector<int32_t> offsets;
    for (int tick = 0; tick < 7; ++tick) {
        channel.periodDelta = 0;
        autoVibratoStep(&channel, &instrument);
        offsets.push_back(channel.periodDelta);
    }
    EXPECT_EQ(offsets, (std::vector<int32_t>{-4, 8, -12, 16, 16, -16, 16}));   // positions 100, 200, 44, 144, 244, 88, 188
}

}  // namespace
