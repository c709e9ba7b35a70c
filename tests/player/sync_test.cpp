// Following the music offline: seeks, mute and solo each render exactly what
// an edited copy of the module renders; the position read-out; strike
// counts; a song played once ends where it would come back.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "introplayer.h"
#include "xm_writer.h"

namespace {

// Three channels over three patterns, each row a note on some channel;
// channel 3 also changes the speed and the global volume (song-wide).
XmModule syncSong(int blanked = -1, int soloed = -1) {
    XmModule m;
    m.channels = 3;
    m.speed = 4;
    m.tempo = 140;
    m.orders = {0, 1, 2, 1};
    for (int p = 0; p < 3; ++p) {
        XmPattern& pattern = m.addPattern(8);
        for (uint8_t row = 0; row < 8; ++row)
            pattern.at(row, (row + p) % 3) = xmNote(uint8_t(40 + 3 * row + p), 1, uint8_t(0x20 + 4 * row));
        pattern.at(3, 2).effect = 0xF;
        pattern.at(3, 2).effectParam = uint8_t(3 + p);
        pattern.at(5, 2).effect = 0x10;
        pattern.at(5, 2).effectParam = uint8_t(0x30 + 8 * p);
    }
    for (XmPattern& pattern : m.patterns)
        for (uint32_t row = 0; row < 8; ++row)
            for (int c = 0; c < 3; ++c) {
                if (c == blanked || (soloed >= 0 && c != soloed)) {
                    XmCell& cell = pattern.at(row, uint32_t(c));
                    cell.note = cell.instrument = cell.volumeColumn = 0;
                    if (cell.effect != 0xF && cell.effect != 0x10)
                        cell.effect = cell.effectParam = 0;
                }
            }
    std::vector<int32_t> saw;
    for (int i = 0; i < 50; ++i) saw.push_back(i * 5 - 125);
    m.addInstrument(xmSample8(saw).loop(0, 50, 1));
    return m;
}

std::vector<int16_t> render(const XmModule& m, uint32_t frames, const std::function<void()>& before = {}) {
    const std::vector<uint8_t> bytes = writeXm(m);
    std::vector<int16_t> out(2 * size_t(frames));
    EXPECT_TRUE(renderOpen(bytes.data(), uint32_t(bytes.size()), PlayerSourceMemory));
    if (before)
        before();
    EXPECT_EQ(renderFrames(out.data(), frames), frames);
    renderClose();
    return out;
}

XmModule startingAt(size_t order) {
    XmModule m = syncSong();
    m.orders.erase(m.orders.begin(), m.orders.begin() + long(order));
    return m;
}

TEST(Sync, SeekMuteAndSoloRenderWhatAnEditedCopyRenders) {
    constexpr uint32_t Frames = 50000;   // within the copies' first pass
    std::vector<int16_t> skipped(2 * 10000);
    const struct {
        const char* name;
        XmModule copy;
        std::function<void()> before;
    } cases[] = {
        {"seek to order 2", startingAt(2), [] { EXPECT_EQ(seekPosition(2, 0), PlayerSeekDone); }},
        {"seek to order 1", startingAt(1), [] { EXPECT_EQ(seekPosition(1, 0), PlayerSeekDone); }},
        {"seek back to the start after 10,000 frames", syncSong(),
         [&skipped] {
             renderFrames(skipped.data(), 10000);
             EXPECT_EQ(seekPosition(0, 0), PlayerSeekDone);
         }},
        {"mute channel 2", syncSong(1), [] { EXPECT_EQ(setChannelMute(1, 1), 1); }},
        {"solo channel 1", syncSong(-1, 0), [] { EXPECT_EQ(setChannelSolo(0, 1), 1); }},
        {"solo channel 3, mute channel 1", syncSong(-1, 2),
         [] { EXPECT_EQ(setChannelSolo(2, 1) + setChannelMute(0, 1), 2); }},
    };
    for (const auto& c : cases)
        EXPECT_EQ(render(syncSong(), Frames, c.before), render(c.copy, Frames)) << c.name;
}

TEST(Sync, PositionStrikesAndRefusedSeeks) {
    const std::vector<uint8_t> bytes = writeXm(syncSong());
    std::vector<int16_t> out(2 * 30000);
    PlayerPosition at{}, seeked{};
    ASSERT_TRUE(renderOpen(bytes.data(), uint32_t(bytes.size()), PlayerSourceMemory));
    ASSERT_TRUE(getPosition(&at));
    EXPECT_EQ(at.order + at.row + at.tick + at.timeMs, 0u);
    EXPECT_EQ(at.tempo, 140u);
    // Row 0 strikes note 40 at volume 16 (of 64) on channel 1: 8,363 Hz
    // three quarters of an octave down.
    PlayerChannel ch{};
    ASSERT_TRUE(getChannel(0, &ch));
    EXPECT_EQ(ch.note * 10000 + ch.instrument * 100 + ch.sample, 400101u);
    EXPECT_EQ(ch.volume, 32u);
    EXPECT_NEAR(ch.frequency, 4972.6, 1.0);
    EXPECT_EQ(ch.sounding + ch.strikes, 2u);
    ASSERT_TRUE(getChannel(1, &ch));
    EXPECT_EQ(ch.note + ch.instrument + ch.sample + ch.frequency + ch.sounding + ch.strikes, 0u);
    // Mid-block and at block ends: the read-out names the next frame's row,
    // the one a fresh render seeked there starts from.
    for (uint32_t frames : {7000u, 1024u, 9216u - 8024u}) {
        renderFrames(out.data(), frames);
        ASSERT_TRUE(getPosition(&at));
        ASSERT_TRUE(renderOpen(bytes.data(), uint32_t(bytes.size()), PlayerSourceMemory));
        ASSERT_EQ(seekPosition(at.order, at.row), PlayerSeekDone);
        renderFrames(nullptr, 0);   // takes the seek
        ASSERT_TRUE(getPosition(&seeked));
        EXPECT_EQ(seeked.order * 100 + seeked.row, at.order * 100 + at.row) << "after " << frames;
        EXPECT_EQ(seeked.pattern, at.pattern);
    }
    EXPECT_EQ(seekPosition(4, 0), PlayerSeekPastSongEnd);
    EXPECT_EQ(seekPosition(1, 8), PlayerSeekPastPatternEnd);
    EXPECT_EQ(setChannelMute(32, 1), 0);

    // One pass: 32 notes, each row's on channel (row + pattern) mod 3.
    setPlayOnce(1);
    ASSERT_TRUE(renderOpen(bytes.data(), uint32_t(bytes.size()), PlayerSourceMemory));
    uint32_t total = 0, n;
    while ((n = renderFrames(out.data(), 30000)) > 0)
        total += n;
    EXPECT_EQ(total, renderCameBack());
    uint32_t strikes = 0, lastMs = 0, sum = 0;
    for (uint32_t c = 0; c < 3; ++c) {
        ASSERT_TRUE(getChannel(c, &ch));
        sum += ch.strikes;
    }
    EXPECT_EQ(sum, 32u);
    ASSERT_TRUE(getInstrumentStrikes(1, &strikes, &lastMs));
    EXPECT_EQ(strikes, 32u);
    EXPECT_EQ(ch.lastStrikeMs, lastMs) << "the last note is channel 3's";
    EXPECT_GT(lastMs, 0u);
    ASSERT_TRUE(getPosition(&at));
    EXPECT_EQ(at.ended, 1u);
    EXPECT_GT(at.timeMs, lastMs);
    setPlayOnce(0);
    renderClose();
    EXPECT_FALSE(getPosition(&at));
}

}  // namespace
