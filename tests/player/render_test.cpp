// Whole short modules written as XM bytes, loaded and rendered end to end
// through the offline interface; the output is checked for the property
// under test.
#include <gtest/gtest.h>

#include <cmath>

#include "audio_analysis.h"
#include "module.h"
#include "player.h"
#include "sequencer.h"
#include "xm_writer.h"

namespace {

constexpr size_t TickFrames = 882;   // 125 BPM
constexpr size_t RowFrames = 6 * TickFrames;

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
std::vector<float> render(const XmModule& m, size_t frames) {
    const std::vector<uint8_t> bytes = writeXm(m);
    std::vector<int16_t> out(frames * 2);
    setMasterVolume(64);
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

TEST(Render, ArpeggioStepsThroughItsThreeNotesTickByTick) {
    XmModule m = sineModule();
    m.patterns[0].at(0, 0) = xmCell(73, 1, 0, 0x0, 0x47);   // C-6, 047
    const std::vector<float> x = render(m, 6 * TickFrames);
    const double base = rateOf(8363 * 4.0);
    const double ratio[3] = {1.0, std::pow(2.0, 7 / 12.0), std::pow(2.0, 4 / 12.0)};   // base, y, x
    for (size_t t = 0; t < 6; ++t) {
        const double hz = audio::pitch(x, t * TickFrames + 100, (t + 1) * TickFrames - 20);
        EXPECT_NEAR(hz, base * ratio[t % 3], base * ratio[t % 3] * 0.03) << "tick " << t;
    }
}

TEST(Render, VolumeSlideLowersTheLevelTickByTick) {
    XmModule m = sineModule();
    m.speed = 8;
    m.patterns[0].at(0, 0) = xmCell(61, 1, 0x50, 0xA, 0x04);   // volume 64, slide down 4
    const std::vector<float> x = render(m, 8 * TickFrames);
    const double full = audio::rms(x, 200, TickFrames);
    ASSERT_GT(full, 1000.0);
    for (size_t t = 1; t < 8; ++t) {
        const double level = audio::rms(x, t * TickFrames + 200, (t + 1) * TickFrames);
        EXPECT_NEAR(level / full, (64.0 - 4.0 * t) / 64.0, 0.02) << "tick " << t;
    }
}

TEST(Render, NoteCutIsSilentOnceTheRampEnds) {
    XmModule m = sineModule();
    m.patterns[0].at(0, 0) = xmCell(61, 1, 0, 0xE, 0xC3);
    const std::vector<float> x = render(m, 6 * TickFrames);
    EXPECT_GT(audio::rms(x, 200, 3 * TickFrames), 1000.0);
    EXPECT_EQ(audio::peak(x, 3 * TickFrames + 128, 6 * TickFrames), 0.0);
}

// Without an envelope a key-off silences at once: see the sequencer's tests.
TEST(Render, KeyOffWithSustainedEnvelopeFadesOut) {
    // Sustained envelope and a fade-out of 2 x 1024 per tick: 32 ticks to silence.
    XmModule m = sineModule();
    m.patterns[0].at(0, 0) = xmNote(61, 1);
    m.patterns[0].at(1, 0) = xmNote(97);
    XmInstrument& ins = m.instruments[0];
    ins.volumeEnvelope.points = {{0, 64}, {100, 64}};
    ins.volumeEnvelope.sustain = 0;
    ins.volumeEnvelope.flags = 1 | 2;
    ins.fadeout = 1024;
    const std::vector<float> x = render(m, RowFrames + 40 * TickFrames);
    const double before = audio::rms(x, 200, RowFrames);
    const double later = audio::rms(x, RowFrames + 16 * TickFrames, RowFrames + 17 * TickFrames);
    EXPECT_NEAR(later / before, 15.0 / 32.0, 0.03);   // fade volume 65536 - 17 x 2048
    EXPECT_EQ(audio::peak(x, RowFrames + 33 * TickFrames, RowFrames + 40 * TickFrames), 0.0);
}

TEST(Render, NewNoteCrossfadesThroughTheTwinVoice) {
    XmModule m = sineModule();
    m.patterns[0].at(0, 0) = xmNote(61, 1);
    m.patterns[0].at(1, 0) = xmNote(61, 1);
    const std::vector<float> x = render(m, 2 * RowFrames);
    // The restarted note ramps in exactly as the first one did; the old one
    // is still heard during the 128-frame ramp and not at all after it.
    double differenceInRamp = 0.0;
    for (size_t i = 1; i < 128; ++i)
        differenceInRamp = std::fmax(differenceInRamp, std::fabs(x[RowFrames + i] - x[i]));
    EXPECT_GT(differenceInRamp, 100.0);
    for (size_t i = 128; i < 1500; ++i)
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
    renderClose();
    EXPECT_EQ(getSongInfo(&info), 0);
    EXPECT_EQ(renderFrames(pieces.data(), 1), 0u);
    const char text[] = "hello";
    EXPECT_EQ(renderOpen(text, sizeof text, PlayerSourceMemory), 0);
    EXPECT_NE(std::string(getLoadError()).find("not an XM module"), std::string::npos);
}
