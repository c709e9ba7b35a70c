// Mixer behaviour: ramps, loop ends, boundary counting and memory safety.
// Sample buffers hold exactly data[-1] .. data[length] (the zero slot, the
// values and the pad), so a sanitizer build catches any read beyond them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "mixer.h"
#include "module.h"

using namespace introplayer;

namespace {

constexpr uint64_t One = uint64_t(1) << 32;   // one sample frame, 32.32

struct TestSample {
    std::vector<int16_t> slots;   // the zero slot, the values, the pad: allocated to the byte
    SampleRecord record{};

    TestSample(const std::vector<int16_t>& values, uint8_t loopType, uint32_t loopStart, uint32_t loopLength,
               int16_t pad = 0)
        : slots(values.size() + 2, 0)
    {
        std::copy(values.begin(), values.end(), slots.begin() + 1);
        slots.back() = pad;
        record.length = static_cast<uint32_t>(values.size());
        record.loopStart = loopStart;
        record.loopLength = loopLength;
        record.loopType = loopType;
        record.data = slots.data() + 1;
    }
};

std::vector<int16_t> constant(size_t count, int16_t value) { return std::vector<int16_t>(count, value); }
std::vector<int16_t> ramp(size_t count)
{
    std::vector<int16_t> values(count);
    for (size_t i = 0; i < count; ++i) values[i] = static_cast<int16_t>(i * 10);
    return values;
}
uint64_t position(const Voice& v) { return (uint64_t(v.posInt) << 32) | v.posFrac; }

class MixerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::memset(voices, 0, sizeof voices);
        for (uint32_t k = 0; k < VoiceCount; ++k) voices[k].voiceIndex = k;
    }

    // Starts voice 0 as a note trigger does, its target volume already
    // reached unless ramp is set.
    static Voice& start(const TestSample& sample, uint64_t pos, uint64_t step, int32_t left, int32_t right,
                        bool ramp = false)
    {
        Voice& v = voices[0];
        v = Voice{};
        v.sample = &sample.record;
        v.posInt = static_cast<uint32_t>(pos >> 32);
        v.posFrac = static_cast<uint32_t>(pos);
        v.stepInt = static_cast<uint32_t>(step >> 32);
        v.stepFrac = static_cast<uint32_t>(step);
        v.targetLeft = v.currentLeft = left;
        v.targetRight = v.currentRight = right;
        if (ramp) v.currentLeft = v.currentRight = 0;
        return v;
    }

    static std::vector<float> mix(size_t frames)
    {
        std::vector<float> buffer(frames * 2, 0.0f);
        mixVoices(buffer.data(), buffer.data() + buffer.size());
        return buffer;
    }
};

// The mixing rules written out one frame at a time in double precision: the
// expectation the player's mixer (its four-frame loops and their scalar
// tails alike) is held to. Gains are in 1/255 steps; a ramp runs RampFrames frames
// from the gains reached to the targets; between two runs the gains reached
// are kept in whole steps.
struct ReferenceVoice {
    const SampleRecord* sample;
    int64_t pos, step;   // 32.32
    bool backward = false, playing = true;
    double left = 0, right = 0, stepLeft = 0, stepRight = 0;
    int32_t targetLeft = 0, targetRight = 0, rampLeft = 0, ties = 0;
    std::vector<double> slack = {};   // how far each frame mixed may lie from the rules

    // A gain reached halfway between two steps (within the float sums'
    // error over a ramp) may go either way in the player: from there on the
    // gains may lie a step apart, until a ramp ends at its target.
    void keepWhole()
    {
        for (double* gain : {&left, &right}) {
            ties += std::fabs(*gain - std::floor(*gain) - 0.5) < 0.01;
            *gain = std::nearbyint(*gain);
        }
    }

    void mix(int32_t toLeft, int32_t toRight, double* out, size_t frames)
    {
        const SampleRecord& s = *sample;
        const int64_t end = int64_t(s.loopStart + s.loopLength) << 32, start = int64_t(s.loopStart) << 32;
        keepWhole();
        if (rampLeft == 0 ? toLeft != left || toRight != right : toLeft != targetLeft || toRight != targetRight) {
            stepLeft = (toLeft - left) / RampFrames;
            stepRight = (toRight - right) / RampFrames;
            rampLeft = RampFrames;
        }
        targetLeft = toLeft;
        targetRight = toRight;
        for (size_t i = 0; i < frames && playing; ++i, out += 2) {
            const int16_t* at = s.data + (pos >> 32);
            const double v = at[0] + (at[1] - at[0]) * (uint32_t(pos) / 4294967296.0);
            slack.push_back(0.02 + std::fabs(v) * (0.05 + ties) / 255);
            out[0] += v * left / 255;
            out[1] += v * right / 255;
            if (rampLeft > 0) {
                left = --rampLeft ? left + stepLeft : targetLeft;
                right = rampLeft ? right + stepRight : targetRight;
                ties = rampLeft ? ties : 0;
            }
            pos += backward ? -step : step;
            for (;;) {
                if (!backward && pos >= end && s.loopType == LoopForward) pos -= end - start;
                else if (!backward && pos >= end && s.loopType == LoopPingPong) pos = 2 * end - pos - 1, backward = true;
                else if (backward && pos <= start) pos = 2 * start - pos - 1, backward = false;
                else break;
            }
            playing = backward || pos < end || s.loopType != LoopNone;
        }
    }
};

// 5 ms, as in the classic tracker's recordings: halfway at frame 110.
TEST_F(MixerTest, ARampTakes220Frames)
{
    TestSample s(constant(8, 1000), LoopForward, 0, 8, 1000);
    start(s, 0, One, 255, 255, true);
    EXPECT_NEAR(mix(300)[2 * 110], 500.0f, 5.0f);
}

// Generated voices chosen to reach every branch: one-shot, forward and
// ping-pong loops that turn inside a run and inside a ramp, steps far below
// and above 1, ramps on one side or both begun at every frame offset, runs of
// 1 to 1,000 frames. Positions and steps keep to 24 fraction bits, where the
// mixer counts the frames to a loop's end exactly.
TEST_F(MixerTest, EveryPathAgreesWithThePlainReferenceMixer)
{
    uint32_t seed = 12345;
    const auto next = [&seed](uint32_t n) { seed = seed * 1664525u + 1013904223u; return (seed >> 8) % n; };
    const uint32_t runs[] = {1, 2, 3, 4, 5, 7, 64, 219, 220, 221, 441, 1000};
    for (int c = 0; c < 300; ++c) {
        const uint32_t length = c % 25 == 1 ? 1 : 1 + next(400);
        std::vector<int16_t> values(length);
        for (int16_t& x : values) x = static_cast<int16_t>(int32_t(next(24001)) - 12000);
        const uint8_t type = static_cast<uint8_t>(next(3));
        const uint32_t loopStart = type == LoopNone || length < 2 ? 0 : next(length - 1);
        const uint32_t loopLength = type == LoopNone ? length : 1 + next(c % 5 ? length - loopStart : std::min(3u, length - loopStart));
        TestSample sample(values, type, loopStart, loopLength, values[type == LoopForward ? loopStart : length - 1]);
        const uint64_t step = c % 4 == 0 ? One : (uint64_t(next(1u << 24)) << 8) * (1 + next(8)) + 0x10000;
        const uint64_t pos = (uint64_t(next(loopStart + loopLength)) << 32) | (next(1u << 24) << 8);
        int32_t toLeft = next(4) ? next(256) : 0, toRight = next(4) ? next(256) : 0;
        Voice& v = start(sample, pos, step, toLeft, toRight, c % 3 == 0);
        ReferenceVoice r{&sample.record, int64_t(pos), int64_t(step), false, true};
        r.left = v.currentLeft, r.right = v.currentRight;
        for (int run = 0; run < 24 && r.playing; ++run) {
            if (next(3) == 0) (next(2) ? toLeft : toRight) = next(256);
            else if (next(4) == 0) toLeft = next(256), toRight = next(256);
            v.targetLeft = toLeft, v.targetRight = toRight;
            const uint32_t frames = runs[next(12)];
            std::vector<double> expected(2 * frames, 0.0);
            r.slack.clear();
            r.mix(toLeft, toRight, expected.data(), frames);
            const std::vector<float> out = mix(frames);
            for (uint32_t i = 0; i < 2 * frames; ++i)
                ASSERT_NEAR(out[i], expected[i], i / 2 < r.slack.size() ? r.slack[i / 2] : 0.0)
                    << "case " << c << " run " << run << " frame " << i / 2;
            ASSERT_EQ(v.sample != nullptr, r.playing) << "case " << c;
        }
    }
}

TEST_F(MixerTest, VoicesWithoutALoopStopAfterTheirLastFrame)
{
    struct Case {
        const char* what;
        uint32_t length, loopType, loopStart, loopLength;
        uint64_t pos, step;
        size_t audible;   // frames mixed before the voice stops
        float body, last; // values of the frames before the last and of the last; 0 = any but silence
    };
    const uint64_t overshoot = One + 255;
    const Case cases[] = {
        {"half step, last frame against the pad", 10, LoopNone, 0, 10, 0, One / 2, 20, 1000.0f, 500.0f},
        // A step below 2^-24 has no upper 24 fraction bits: the frame count to
        // the boundary is the distance in 24-bit units divided by 97,391.
        {"tiny step, fallback divisor", 1000, LoopNone, 0, 1000, 1000 * One - uint64_t(3) * 97391 * 256, 200, 3, 0, 0},
        {"one-shot exactly at its end", 50, LoopNone, 0, 50, 50 * One, One, 0, 0, 0},
        // The end is three steps away but the 24-bit division counts four
        // frames; the fourth would start at the end and read past the pad.
        {"count overshooting the end", 64, LoopNone, 0, 64, 64 * One - 3 * overshoot, overshoot, 3, 0, 0},
    };
    for (const Case& c : cases) {
        TestSample sample(constant(c.length, 1000), c.loopType, c.loopStart, c.loopLength);
        Voice& v = start(sample, c.pos, c.step, 255, 255);
        std::vector<float> out = mix(c.audible + 5);
        for (size_t k = 0; k < c.audible; ++k) {
            const float expected = k + 1 == c.audible ? c.last : c.body;
            if (expected == 0) ASSERT_NE(out[2 * k], 0.0f) << c.what << " frame " << k;
            else ASSERT_EQ(out[2 * k], expected) << c.what << " frame " << k;
        }
        for (size_t k = c.audible; k < c.audible + 5; ++k) ASSERT_EQ(out[2 * k], 0.0f) << c.what << " frame " << k;
        EXPECT_EQ(v.sample, nullptr) << c.what;
        EXPECT_EQ(position(v), 0u) << c.what;
    }

    SampleRecord empty{};
    Voice& v = voices[5];
    v.sample = &empty;
    v.targetLeft = v.currentLeft = 100;
    for (float x : mix(8)) EXPECT_EQ(x, 0.0f);
    EXPECT_EQ(v.sample, nullptr);
}

// The count in 24-bit units can stop a hair short of a forward loop's end
// (here 5 units of 2^-32 frame): the loop still turns, to the same hair
// before its start.
TEST_F(MixerTest, ACountShortOfAForwardLoopsEndStillTurns)
{
    TestSample sample(ramp(40), LoopForward, 10, 20, 100);
    const uint64_t step = 3 * 256;   // 3 in the count's units: 3 frames counted where 4 are needed
    Voice& v = start(sample, 30 * One - 3 * step - 5, step, 255, 255);
    mix(3);
    EXPECT_EQ(position(v), 10 * One - 5);
}

TEST_F(MixerTest, SilentVoicesAddNothingButMoveExactlyLikeAudibleOnes)
{
    // Idle voices add nothing whatever their volumes; the silent one leaves
    // the output exactly as mixing zero would, yet keeps the position and
    // direction of an audible twin that ramps out later.
    TestSample sample(ramp(300), LoopPingPong, 37, 201, 2000);
    for (Voice& v : voices) {
        v.targetLeft = v.targetRight = v.currentLeft = v.currentRight = 128;
        v.posInt = 5;
    }
    Voice& a = voices[3];
    Voice& b = start(sample, 5 * One, 3 * One + 0x12345678, 0, 0);
    a = b;
    a.voiceIndex = 3;
    std::vector<float> base(2048);
    for (size_t i = 0; i < base.size(); ++i) base[i] = static_cast<float>(i % 7) - 3.0f;
    std::vector<float> buffer = base;
    mixVoices(buffer.data(), buffer.data() + buffer.size());
    EXPECT_EQ(buffer, base);
    a.targetLeft = a.currentLeft = 90;
    b.targetLeft = b.currentLeft = 90;
    for (int block = 0; block < 40; ++block) {
        if (block == 3) b.targetLeft = 0;   // b ramps out, then runs silent
        mix(block % 2 ? 1024 : 441);
        ASSERT_EQ(position(a), position(b)) << block;
        ASSERT_EQ(a.backward, b.backward) << block;
    }
    EXPECT_EQ(b.rampFramesLeft, 0);

    // One voice panned left among the idle ones, mixed into frames 2, 3 and 4 only.
    TestSample flat(constant(100, 1000), LoopForward, 0, 100, 1000);
    a.sample = b.sample = nullptr;
    Voice& v = voices[17];
    v.sample = &flat.record;
    v.currentRight = v.targetRight = 0;
    v.currentLeft = v.targetLeft = 255;
    buffer.assign(20, 1.0f);
    mixVoices(buffer.data() + 4, buffer.data() + 10);
    for (size_t i = 0; i < buffer.size(); ++i) {
        const bool inside = i >= 4 && i < 10 && i % 2 == 0;
        EXPECT_EQ(buffer[i], inside ? 1001.0f : 1.0f) << i;
    }
}

// Loop points, positions and steps no well-formed song produces: the voice
// may play oddly but never reads outside its data and pad, and its position
// stays within -1 .. length.
TEST_F(MixerTest, OddVoicesStayInsideTheirData)
{
    struct Case {
        const char* what;
        uint32_t length;
        uint8_t loopType;
        uint32_t loopStart, loopLength;
        uint64_t pos, step;
        uint32_t backward;
    };
    const uint64_t top = 255 * One + 0xFFFFFFFF;
    const Case cases[] = {
        {"loop past the end", 100, LoopForward, 50, 1000, 0, 3 * One, 0},
        {"loop start past the end", 100, LoopForward, 500, 10, 0, One, 0},
        {"ping-pong past the end", 100, LoopPingPong, 90, 1000, 0, 7 * One + 5, 0},
        {"ping-pong of one frame, top step", 50, LoopPingPong, 0, 1, 0, top, 0},
        {"forward loop of one frame, top step", 50, LoopForward, 49, 1, 0, top, 0},
        {"step beyond the limit", 100, LoopForward, 0, 100, 0, uint64_t(100000) << 32, 0},
        {"position far past the end", 100, LoopForward, 10, 20, uint64_t(5000) << 32, One, 0},
        {"position far past the end, ping-pong backward", 100, LoopPingPong, 10, 20, uint64_t(5000) << 32, One, 1},
        {"negative position", 100, LoopNone, 0, 100, uint64_t(0xFFFFFF00) << 32, One, 0},
        {"zero step, forward loop", 10, LoopForward, 0, 10, 9 * One + 0xFFFFFF00, 0, 0},
        {"zero step, ping-pong", 10, LoopPingPong, 0, 10, 9 * One, 0, 1},
        {"one-sample sample", 1, LoopForward, 0, 1, 0, 2 * One + 3, 0},
        {"backward on a forward loop", 100, LoopForward, 0, 100, 50 * One, One, 1},
        {"just past the loop end, ping-pong", 100, LoopPingPong, 0, 100, 100 * One + 5, One, 0},
        {"just past the sample end", 100, LoopNone, 0, 100, 100 * One + 5, One / 3, 0},
    };
    for (const Case& c : cases) {
        TestSample sample(ramp(c.length), c.loopType, c.loopStart, c.loopLength, 1);
        Voice& v = start(sample, c.pos, c.step, 200, 100, true);
        v.backward = c.backward;
        for (int block = 0; block < 64 && v.sample; ++block) {
            mix(block % 3 == 0 ? 1024 : 37);
            if (!v.sample) break;
            ASSERT_GE(static_cast<int32_t>(v.posInt), -1) << c.what;
            ASSERT_LE(static_cast<int32_t>(v.posInt), static_cast<int32_t>(c.length)) << c.what;
        }
    }
}

TEST(DivideWide, AgreesWithTheProcessorsDivision)
{
    uint64_t x = 1, r;
    for (int i = 0; i < 200000; ++i) {
        x = x * 6364136223846793005u + 1442695040888963407u;
        const uint64_t n = x >> (x & 63), d = ((x * 0x9E3779B97F4A7C15u) >> (1 + (x >> 58) % 63)) | 1;
        ASSERT_EQ(divideWide(n, d, &r), n / d) << n << " / " << d;
        ASSERT_EQ(r, n % d) << n << " % " << d;
    }
}

}  // namespace
