// The 16-bit conversion, the master volume and the block read-outs.
#include <gtest/gtest.h>

#include <cmath>

#include "song.h"
#include "song_fixture.h"

using namespace introplayer;

namespace {

void fillBlock(int32_t block, float left, float right) {
    float* mix = mixBuffer + block * BlockFrames * 2;
    for (int32_t i = 0; i < BlockFrames; ++i) {
        mix[2 * i] = left;
        mix[2 * i + 1] = right;
    }
}

int16_t outAt(int32_t block, int32_t frame, int32_t side) {
    return outputRing[(block * BlockFrames + frame) * 2 + side];
}

}  // namespace

TEST(Conversion, RoundsToNearestEvenClipsAndScalesBySixteenOverEightyMinusVolume) {
    const struct { uint32_t volume; float in; int16_t out; } cases[] = {
        {64, 40000.4f, 32767}, {64, -0.5f, 0}, {64, 1.5f, 2}, {64, 2.5f, 2}, {64, -3.5f, -4}, {64, 0.49f, 0},
        {64, 32767.6f, 32767}, {64, -32767.6f, -32768}, {64, -1e9f, -32768}, {64, NAN, -32768},
        {100, 30000.0f, 30000}, {0xFFFFFFFFu, 30000.0f, 30000},   // above 64 counts as 64
        {48, 30001.0f, 15000},    // 16 / 32, truncated toward zero
        {32, 30000.0f, 10000}, {32, -30001.0f, -10000},   // 16 / 48, toward zero below 0 too
        {16, 30003.0f, 7500}, {1, 7900.0f, 1600}, {0, 32767.0f, 0}, {0, -32768.0f, 0},
    };
    for (const auto& c : cases) {
        setMasterVolume(c.volume);
        fillBlock(3, c.in, c.in);
        convertBlock(3);
        for (int32_t frame : {0, 5, 1023})
            EXPECT_TRUE(outAt(3, frame, 0) == c.out && outAt(3, frame, 1) == c.out) << c.volume << " " << c.in;
    }
    setMasterVolume(64);
}

TEST(Conversion, LevelIsTheMeanAbsoluteSamplePerSide) {
    setMasterVolume(64);
    float* mix = mixBuffer + 2 * BlockFrames * 2;
    for (int32_t i = 0; i < BlockFrames; ++i) {
        mix[2 * i] = (i & 1) ? -1000.0f : 3000.0f;   // mean |x| 2000
        mix[2 * i + 1] = i < 512 ? -32768.0f : 0.0f; // mean 16384
    }
    EXPECT_EQ(convertBlock(2), (2000u << 16) | 16384u);
    fillBlock(2, -40000.0f, -40000.0f);
    EXPECT_EQ(convertBlock(2), (32768u << 16) | 32768u);
    setMasterVolume(0);
    EXPECT_EQ(convertBlock(2), 0u);
    setMasterVolume(64);
}


// Time stamps go into the block's own entry, levels into the next one; the
// time counts the frames exactly, whatever runs the ticks cut a block into.
using songfixture::SongTest;

TEST_F(SongTest, BlockTimeStampsCountFramesExactly) {
    startSongPlayback();
    renderBlock();   // runs of 882 and 142 frames: 23.2 ms
    renderBlock();   // 740 and 284: 46.4 ms (whole milliseconds per run would make 45)
    EXPECT_EQ(blockStats[0].timeMs.load(), 23u);
    EXPECT_EQ(blockStats[1].timeMs.load(), 46u);
    EXPECT_EQ(renderIndex, 2);
    statsIndex.store(1);
    EXPECT_EQ(getPlayTime(), 46u);
    EXPECT_EQ(getLevels(), 0u);
    for (int i = 0; i < 14; ++i)
        renderBlock();
    EXPECT_EQ(renderIndex, 0);
    statsIndex.store(0);
}
