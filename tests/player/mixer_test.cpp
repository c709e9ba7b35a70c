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

TEST_F(MixerTest, RampsRunFromTheReachedVolumesToTheTargetsIn128Frames)
{
    TestSample sample(constant(1000, 1000), LoopForward, 0, 1000, 1000);
    Voice& v = start(sample, 0, One, 100, 60, true);
    std::vector<float> first = mix(64);
    EXPECT_EQ(first[0] + first[1], 0.0f);   // the first frame is mixed at gain 0
    EXPECT_EQ(v.currentLeft * 100 + v.currentRight, 50 * 100 + 30);   // halfway, rounded
    for (size_t k = 1; k < 64; ++k)   // growing gains, the left side 100/60 times the right throughout
        ASSERT_TRUE(first[2 * k] > first[2 * k - 2] && std::fabs(first[2 * k] * 60.0f - first[2 * k + 1] * 100.0f) < 0.05f) << k;
    // A new target mid-ramp restarts a full ramp from the volumes reached.
    v.targetLeft = 0;
    v.targetRight = 200;
    std::vector<float> out = mix(127);
    EXPECT_FLOAT_EQ(out[0], 1000.0f * (50.0f / 255.0f));
    EXPECT_FLOAT_EQ(out[1], 1000.0f * (30.0f / 255.0f));
    EXPECT_LT(out[2 * 126 + 1], 1000.0f * 200.0f / 255.0f);
    out = mix(10);
    EXPECT_EQ(v.rampFramesLeft, 0);
    for (size_t k = 1; k < 10; ++k) {   // frame 0 is the ramp's last
        EXPECT_EQ(out[2 * k], 0.0f);
        EXPECT_FLOAT_EQ(out[2 * k + 1], 1000.0f * (200.0f / 255.0f));
    }
}

// Every frame of a ramp against its gain worked out in double precision:
// ramps that move one side, the other or both, begun 0 to 3 frames into the
// mix (each lane of the four-frame loop), on a sample whose frames all differ.
TEST_F(MixerTest, RampsAgreeWithTheirGainsFrameByFrame)
{
    std::vector<int16_t> values(400);
    for (size_t i = 0; i < values.size(); ++i) values[i] = static_cast<int16_t>((i * 733) % 2001 - 1000);
    TestSample sample(values, LoopNone, 0, 400);
    const struct { int32_t fromLeft, fromRight, toLeft, toRight; } ramps[] = {
        {0, 0, 200, 0}, {0, 0, 0, 200}, {90, 30, 90, 250}, {255, 255, 17, 255}, {40, 200, 200, 40}};
    for (const auto& r : ramps) {
        for (uint32_t offset = 0; offset < 4; ++offset) {
            Voice& v = start(sample, 0, One, r.fromLeft, r.fromRight);
            mix(offset);
            v.targetLeft = r.toLeft;
            v.targetRight = r.toRight;
            const std::vector<float> out = mix(200);
            for (uint32_t i = 0; i < 200; ++i) {
                const double k = i < 128 ? i / 128.0 : 1.0;
                const double left = (r.fromLeft + (r.toLeft - r.fromLeft) * k) / 255.0;
                const double right = (r.fromRight + (r.toRight - r.fromRight) * k) / 255.0;
                const double value = values[offset + i];
                ASSERT_NEAR(out[2 * i], value * left, 0.02) << r.toLeft << " offset " << offset << " frame " << i;
                ASSERT_NEAR(out[2 * i + 1], value * right, 0.02) << r.toRight << " offset " << offset << " frame " << i;
            }
        }
    }
}

TEST_F(MixerTest, PingPongReflectsAtBothEndsOfTheLoop)
{
    struct Case {
        const char* what;
        uint32_t length, loopStart, loopLength;
        uint64_t pos, step;
        uint32_t backward;
        std::vector<std::pair<uint64_t, uint32_t>> after;   // position and direction after each frame
    };
    const uint64_t e = 1;   // 2^-32
    const Case cases[] = {
        {"forward to 200.25 turns back just below 199.75", 200, 100, 100, 199 * One + One / 4, One, 0,
         {{199 * One + 3 * One / 4 - e, 1}}},
        {"backward to 99.5 turns forward just below 100.5", 200, 100, 100, 100 * One + One / 2, One, 1,
         {{100 * One + One / 2 - e, 0}}},
        // A step of 9.5 crosses the loop 10..14 twice or more per frame:
        // 19.5 -> 8.5 - e -> 11.5; 21.0 -> 7.0 - e -> 13.0; 22.5 -> 5.5 - e -> 14.5 -> 13.5 - e.
        {"step longer than the loop folds back inside", 20, 10, 4, 10 * One, 9 * One + One / 2, 0,
         {{11 * One + One / 2, 0}, {13 * One, 0}, {13 * One + One / 2 - e, 1}}},
        // From zero the reflection never lands below -1; exactly at 0 it lands
        // 2^-32 below and reads the zero slot with a weight of at most 2^-31.
        {"backward from 0.5 at a loop from zero", 8, 0, 8, One / 2, One, 1, {{One / 2 - e, 0}}},
        {"backward from exactly 0", 8, 0, 8, 0, One, 1, {{One - e, 0}}},
    };
    for (const Case& c : cases) {
        TestSample sample(constant(c.length, 800), LoopPingPong, c.loopStart, c.loopLength, 800);
        Voice& v = start(sample, c.pos, c.step, 255, 255);
        v.backward = c.backward;
        for (size_t k = 0; k < c.after.size(); ++k) {
            EXPECT_FLOAT_EQ(mix(1)[0], 800.0f) << c.what << " frame " << k;
            EXPECT_EQ(position(v), c.after[k].first) << c.what << " frame " << k;
            EXPECT_EQ(v.backward, c.after[k].second) << c.what << " frame " << k;
        }
    }
}

TEST_F(MixerTest, VoicesWithoutALoopStopAfterTheirLastFrame)
{
    struct Case {
        const char* what;
        uint32_t length;
        uint8_t loopType;
        uint32_t loopStart, loopLength;
        uint64_t pos, step;
        size_t audible;   // frames mixed before the voice stops
        float body, last; // values of the frames before the last and of the last; 0 = any but silence
    };
    const uint64_t overshoot = One + 255;
    const Case cases[] = {
        {"one-shot plays its length", 1000, LoopNone, 0, 1000, 0, One, 1000, 1000.0f, 1000.0f},
        {"half step, last frame against the pad", 10, LoopNone, 0, 10, 0, One / 2, 20, 1000.0f, 500.0f},
        {"type 3 stops at its loop end", 100, 3, 20, 30, 0, One, 50, 1000.0f, 1000.0f},
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

TEST_F(MixerTest, SplittingASpanChangesNothingWithoutARamp)
{
    // Long runs take the four-frame path, single frames the plain one: the
    // results must be the same to the bit.
    TestSample sample(ramp(3000), LoopPingPong, 1000, 1500, 14990);
    Voice& v = start(sample, 7 * One + 12345, 2 * One + 0x9E3779B9u, 77, 201);
    std::vector<float> whole = mix(2000);
    const uint64_t endPos = position(v);
    const uint32_t endBackward = v.backward;

    start(sample, 7 * One + 12345, 2 * One + 0x9E3779B9u, 77, 201);
    v.backward = 0;
    std::vector<float> pieces(whole.size(), 0.0f);
    for (size_t k = 0; k < 2000; k += 1 + k % 3)
        mixVoices(pieces.data() + 2 * k, pieces.data() + 2 * std::min<size_t>(k + 1 + k % 3, 2000));
    EXPECT_EQ(pieces, whole);
    EXPECT_EQ(position(v), endPos);
    EXPECT_EQ(v.backward, endBackward);
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

}  // namespace
