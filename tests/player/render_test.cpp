// Short modules rendered through the offline interface, for what the
// reference renders cannot check: exact pitch in both frequency modes, the
// crossfade of a restarted note, rendering in pieces and the song facts.
#include <gtest/gtest.h>

#include <cmath>

#include "audio_analysis.h"
#include "introplayer.h"
#include "xm_writer.h"

using namespace introplayer;

namespace {

constexpr size_t RowFrames = 6 * 882;   // speed 6 at 125 BPM

// One channel, speed 6, one instrument: a looped 32-frame sine, so the pitch
// is the playback rate over 32.
XmModule sineModule() {
    XmModule m;
    m.channels = 1;
    m.speed = 6;
    m.tempo = 125;
    m.orders = {0};
    m.addPattern(16);
    XmSample s = xmSample8(audio::sineCycle(32, 64));
    s.loop(0, 32, 1);
    m.addInstrument(s);
    return m;
}

// The first frames of the song, left plus right over two.
std::vector<float> render(const XmModule& m, size_t frames, uint32_t masterVolume = 64) {
    const std::vector<uint8_t> bytes = writeXm(m);
    std::vector<int16_t> out(frames * 2);
    setMasterVolume(masterVolume);
    if (!renderOpen(bytes.data(), uint32_t(bytes.size()), PlayerSourceMemory)) {
        ADD_FAILURE() << "module does not load: " << getLoadError();
        return {};
    }
    renderFrames(out.data(), uint32_t(frames));
    renderClose();
    return audio::mono(out);
}

double rateOf(double hz) { return hz / 32.0; }

}  // namespace

TEST(Render, NotePitchesInBothFrequencyModes) {
    const struct { uint16_t flags; uint8_t note; double hz; } cases[] = {
        {1, 49, rateOf(8363)},                          // C-4
        {1, 61, rateOf(16726)},                         // C-5
        {1, 58, rateOf(8363 * std::pow(2.0, 0.75))},
        {0, 49, rateOf(14317056 / 1712)},               // C-4, period 1712
        {0, 61, rateOf(14317056 / 856)},                // C-5, period 856
    };
    for (const auto& c : cases) {
        XmModule m = sineModule();
        m.flags = c.flags;
        m.patterns[0].at(0, 0) = xmNote(c.note, 1);
        const std::vector<float> x = render(m, 30000);
        EXPECT_NEAR(audio::pitch(x, 2000, 30000), c.hz, c.hz * 0.003)
            << "note " << int(c.note) << " flags " << c.flags;
    }
}

TEST(Render, NewNoteCrossfadesThroughTheTwinVoice) {
    XmModule m = sineModule();
    m.patterns[0].at(0, 0) = xmNote(61, 1);
    m.patterns[0].at(1, 0) = xmNote(61, 1);
    const std::vector<float> x = render(m, 2 * RowFrames);
    // The restarted note ramps in exactly as the first one did; the old one
    // is still heard during the 220-frame ramp and not at all after it.
    double differenceInRamp = 0.0;
    for (size_t i = 1; i < 220; ++i)
        differenceInRamp = std::fmax(differenceInRamp, std::fabs(x[RowFrames + i] - x[i]));
    EXPECT_GT(differenceInRamp, 100.0);
    for (size_t i = 220; i < 1500; ++i)
        ASSERT_NEAR(x[RowFrames + i], x[i], 1.0) << i;
}

TEST(Render, OfflineInPiecesMeasuringAndTellingTheSong) {
    XmModule m = sineModule();   // one pass: 16 rows of 6 ticks
    m.instruments[0].name = "sine";
    m.patterns[0].at(0, 0) = xmNote(61, 1);
    const std::vector<uint8_t> bytes = writeXm(m);
    const std::vector<float> whole = render(m, 5000);
    ASSERT_TRUE(renderOpen(bytes.data(), uint32_t(bytes.size()), PlayerSourceMemory));
    std::vector<int16_t> pieces(2 * 5000);
    for (uint32_t done = 0, n = 1; done < 5000; done += n, n = n * 7 % 1500 + 1)
        EXPECT_EQ(renderFrames(pieces.data() + 2 * done, std::min(n, 5000 - done)), std::min(n, 5000 - done));
    EXPECT_EQ(audio::mono(pieces), whole);
    PlayerSongInfo info{};
    ASSERT_TRUE(getSongInfo(&info));
    EXPECT_EQ(info.channels * 100 + info.instruments * 10 + info.speed, 116u);
    EXPECT_STREQ(getInstrumentName(0), "sine");
    EXPECT_STREQ(getInstrumentName(1), "");
    EXPECT_EQ(renderCameBack(), 0u);
    renderFrames(nullptr, 100000);   // fast, without mixing
    EXPECT_EQ(renderCameBack(), 16 * RowFrames);
    EXPECT_EQ(seekPosition(0, 0), PlayerSeekDone);
    renderFrames(nullptr, 0);
    EXPECT_EQ(renderCameBack(), 0u);   // counted afresh from a seek
    renderClose();
    // A master volume set before the start holds for the song: 16 gives a quarter.
    EXPECT_NEAR(render(m, 5000, 16)[4000] * 4, whole[4000], 4.0);
}
