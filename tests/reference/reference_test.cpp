// Reference comparison: modules made here are written as .xm files and
// rendered by `xmtool render` and by openmpt123 (an outside renderer, linear
// interpolation). Their short-time loudness envelopes must correlate closely
// and their pitches agree; the few intended differences are named per case.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <utility>
#include <string>
#include <vector>

#include <unistd.h>

#include "audio_analysis.h"
#include "xm_writer.h"

#ifndef XMTOOL_PATH
#error "XMTOOL_PATH must name the xmtool binary"
#endif

namespace {

constexpr double Rate = 44100.0;

struct PitchWindow {
    double from;   // seconds
    double to;
};

struct ReferenceCase {
    std::string name;
    std::function<void(XmModule&, XmPattern&)> write;   // into a two-channel sine song
    double seconds;
    std::vector<PitchWindow> pitchWindows;   // mean pitch must agree within 1%
    double minCorrelation;
    std::string intendedDifference;          // shown with any failure
    bool comparePitchTrack = true;           // tick-sized windows must agree too
};

std::string workDir() {
    static char pattern[] = "/tmp/xm_reference_XXXXXX";
    static const std::string dir = mkdtemp(pattern) ? pattern : "/tmp";
    return dir;
}

bool haveOpenmpt() { return std::system("openmpt123 --version >/dev/null 2>&1") == 0; }

// Rows from..to-1 of channel 0 carry the effect alone.
void repeat(XmPattern& p, int from, int to, uint8_t effect, uint8_t param) {
    for (int r = from; r < to; ++r)
        p.at(r, 0) = xmEffect(effect, param);
}

// One instrument: a looped 32-frame sine.
XmModule sineSong() {
    XmModule m;
    m.channels = 2;
    m.speed = 6;
    m.tempo = 125;
    m.orders = {0};
    m.addPattern(32);
    XmSample s = xmSample8(audio::sineCycle(32, 90));
    s.loop(0, 32, 1);
    m.addInstrument(s);
    return m;
}

// Left plus right over two, left, right.
struct Signals {
    std::vector<float> mix[3];
};

Signals signals(const std::vector<int16_t>& stereo) {
    Signals s;
    s.mix[0] = audio::mono(stereo);
    for (size_t i = 0; i + 1 < stereo.size(); i += 2)
        for (size_t k = 1; k < 3; ++k)
            s.mix[k].push_back(stereo[i + k - 1]);
    return s;
}

// Ours, then the reference.
std::pair<Signals, Signals> renderBoth(const ReferenceCase& c) {
    const std::string base = workDir() + "/" + c.name;
    XmModule m = sineSong();
    c.write(m, m.patterns[0]);
    const std::vector<uint8_t> bytes = writeXm(m);
    std::ofstream(base + ".xm", std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                        std::streamsize(bytes.size()));
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%g", c.seconds);
    const std::string ours = std::string(XMTOOL_PATH) + " render --seconds " + seconds + " " + base +
                             ".xm " + base + ".ours.wav 2>/dev/null";
    EXPECT_EQ(std::system(ours.c_str()), 0) << ours;
    // Linear interpolation (two taps), 44,100 Hz 16-bit, the song once.
    const std::string reference = "openmpt123 --quiet --force --render --samplerate 44100 --channels 2 "
                                  "--no-float --filter 2 --end-time " + std::string(seconds) +
                                  " --output-type wav " + base + ".xm >/dev/null 2>&1";
    EXPECT_EQ(std::system(reference.c_str()), 0) << reference;
    return {signals(audio::readWav(base + ".ours.wav")), signals(audio::readWav(base + ".xm.wav"))};
}

const double Row6 = 6 * 0.02;   // seconds per row at speed 6, 125 BPM

const ReferenceCase cases[] = {
    {"plain_notes",
     [](XmModule&, XmPattern& p) {
         const uint8_t notes[] = {49, 53, 56, 61, 44, 68};
         for (int i = 0; i < 6; ++i) {
             p.at(4 * i, 0) = xmNote(notes[i], 1);
             p.at(4 * i + 3, 0) = xmNote(97);
         }
     },
     24 * Row6,
     {{0.02, 0.34}, {0.5, 0.82}, {0.98, 1.3}, {1.46, 1.78}, {1.94, 2.26}, {2.42, 2.74}},
     0.95, ""},
    {"arpeggio",
     [](XmModule&, XmPattern& p) {
         p.at(0, 0) = xmCell(61, 1, 0, 0x0, 0x37);
         repeat(p, 1, 8, 0x0, 0x37);
         p.at(8, 0) = xmNote(97);
         p.at(12, 0) = xmCell(49, 1, 0, 0x0, 0x47);
         repeat(p, 13, 20, 0x0, 0x47);
         p.at(20, 0) = xmNote(97);
     },
     24 * Row6,
     // Whole rows: the mean over a row does not depend on the order of the three notes.
     {{Row6, 7 * Row6}, {13 * Row6, 19 * Row6}},
     0.95,
     "(intended: ticks 1 and 2 of a row play x and y of the parameter in that order, where the "
     "outside renderer plays y first; so only whole rows are compared)",
     false},
    {"vibrato",
     [](XmModule&, XmPattern& p) {
         p.at(0, 0) = xmCell(61, 1, 0, 0x4, 0x48);
         repeat(p, 1, 16, 0x4, 0x00);
         p.at(16, 0) = xmNote(97);
         p.at(20, 0) = xmCell(56, 1, 0x20, 0x4, 0x2C);
         repeat(p, 21, 28, 0x4, 0x00);
     },
     30 * Row6,
     {{Row6, 15 * Row6}, {21 * Row6, 27 * Row6}},
     0.95, ""},
    {"portamento",
     [](XmModule&, XmPattern& p) {
         p.at(0, 0) = xmNote(61, 1);
         p.at(2, 0) = xmEffect(0x1, 0x08);   // up
         p.at(3, 0) = xmEffect(0x1, 0x00);
         p.at(6, 0) = xmEffect(0x2, 0x10);   // down
         p.at(7, 0) = xmEffect(0x2, 0x00);
         p.at(10, 0) = xmNote(97);
         p.at(12, 0) = xmNote(49, 1);
         p.at(14, 0) = xmCell(61, 0, 0, 0x3, 0x20);   // tone portamento up an octave
         repeat(p, 15, 20, 0x3, 0x00);
         p.at(20, 0) = xmCell(0, 0, 0xF2, 0, 0);     // nothing left to slide
         p.at(22, 0) = xmNote(97);
     },
     24 * Row6,
     {{0.02, 2 * Row6}, {4 * Row6, 6 * Row6}, {8 * Row6, 10 * Row6}, {12 * Row6 + 0.02, 14 * Row6},
      {16 * Row6, 22 * Row6}},
     0.95, ""},
    {"volume_slides",
     [](XmModule&, XmPattern& p) {
         p.at(0, 0) = xmCell(61, 1, 0, 0xA, 0x03);    // down 3 per tick
         repeat(p, 1, 4, 0xA, 0x00);
         repeat(p, 4, 8, 0xA, 0x20);        // up 2 per tick
         p.at(8, 0) = xmCell(0, 0, 0x65, 0, 0);       // column: down 5 per tick
         p.at(9, 0) = xmCell(0, 0, 0x65, 0, 0);
         p.at(10, 0) = xmCell(0, 0, 0x94, 0xE, 0xA8); // fine up 4, fine up 8
         p.at(12, 0) = xmCell(0, 0, 0x40, 0x11, 0x04);// global slide down
         repeat(p, 13, 18, 0x11, 0x00);
         p.at(18, 0) = xmEffect(0x10, 0x40);
         p.at(19, 0) = xmEffect(0xC, 0x10);
     },
     22 * Row6, {{0.02, 3 * Row6}}, 0.95,
     "(intended: the column's 6y slide also acts on tick 0, and a global volume change reaches "
     "a channel only when its volume is next recomputed, here on its next row)"},
    {"envelopes",
     [](XmModule& m, XmPattern& p) {
         XmInstrument& ins = m.instruments[0];
         ins.volumeEnvelope.points = {{0, 0}, {8, 64}, {20, 40}, {40, 48}, {80, 0}};
         ins.volumeEnvelope.sustain = 2;
         ins.volumeEnvelope.flags = 1 | 2;
         ins.panningEnvelope.points = {{0, 32}, {30, 0}, {60, 64}};
         ins.panningEnvelope.flags = 1;
         ins.fadeout = 600;
         p.at(0, 0) = xmNote(61, 1);
         p.at(8, 0) = xmNote(97);
         p.at(16, 0) = xmNote(56, 1);
         p.at(18, 0) = xmNote(97);
     },
     28 * Row6, {{0.1, 8 * Row6}}, 0.95, ""},
    {"tremolo",
     [](XmModule&, XmPattern& p) {
         p.at(0, 0) = xmCell(61, 1, 0x30, 0x7, 0x48);
         repeat(p, 1, 12, 0x7, 0x00);
         p.at(12, 0) = xmNote(97);
     },
     14 * Row6, {}, 0.9,
     "(intended: the tremolo offset is not applied on a row's tick 0, where the row resets it, "
     "so every row starts at the plain volume)"},
    {"delay_cut_retrigger",
     [](XmModule& m, XmPattern& p) {
         std::vector<int32_t> values;
         for (int k = 0; k < 4000; ++k)
             values.push_back(int32_t(std::lround(100.0 * std::exp(-k / 1200.0) *
                                                  std::sin(2 * M_PI * k / 32.0))));
         m.addInstrument(xmSample8(values));   // a plucked note: its retriggers are heard
         p.at(0, 0) = xmCell(49, 2, 0, 0xE, 0x93);
         p.at(2, 0) = xmCell(49, 2, 0, 0xE, 0xD3);
         p.at(4, 0) = xmCell(49, 1, 0, 0xE, 0xC2);
         p.at(6, 0) = xmCell(49, 2, 0x40, 0x1B, 0x82);
         p.at(7, 0) = xmEffect(0x1B, 0x00);
         p.at(8, 0) = xmCell(61, 2, 0, 0xE, 0xE2);    // pattern delay: 3 rows long
         p.at(9, 0) = xmCell(56, 2, 0, 0xF, 0x03);    // speed 3
         p.at(11, 0) = xmCell(49, 2, 0, 0xF, 0x80);   // 128 BPM
         p.at(13, 0) = xmNote(97);
     },
     16 * Row6, {}, 0.9, ""},
    {"panning",
     [](XmModule&, XmPattern& p) {
         p.at(0, 0) = xmCell(61, 1, 0, 0x8, 0x20);
         p.at(0, 1) = xmCell(56, 1, 0xC8, 0x19, 0x0F);   // slides left
         p.at(4, 0) = xmEffect(0x8, 0xE0);
         p.at(8, 1) = xmCell(0, 0, 0xEF, 0, 0);
     },
     16 * Row6, {}, 0.9, "", false},   // two notes at once: no single pitch to track
    {"pattern_loop",
     [](XmModule& m, XmPattern& p) {
         m.speed = 3;
         p.at(0, 0) = xmNote(49, 1);
         p.at(2, 0) = xmCell(56, 1, 0, 0xE, 0x60);
         p.at(4, 0) = xmNote(97);
         p.at(5, 0) = xmCell(61, 1, 0x28, 0, 0);
         p.at(7, 0) = xmCell(97, 0, 0, 0xE, 0x63);
         p.at(9, 0) = xmNote(68, 1);
         p.at(11, 0) = xmNote(97);
     },
     // Rows 0..7, then 2..7 three more times, then 8..: 32 rows of 0.06 s.
     32 * 0.06, {{2 * 0.06 + 0.01, 4 * 0.06}, {8 * 0.06 + 0.01, 10 * 0.06}}, 0.95, ""},
};

// Names the case instead of dumping its bytes in test listings.
void PrintTo(const ReferenceCase& c, std::ostream* out) { *out << c.name; }

}  // namespace

class Reference : public ::testing::TestWithParam<ReferenceCase> {};

TEST_P(Reference, LoudnessAndPitchAgreeWithTheOutsideRenderer) {
    if (!haveOpenmpt())
        GTEST_SKIP() << "openmpt123 is not installed";
    const ReferenceCase& c = GetParam();
    const auto [oursAll, referenceAll] = renderBoth(c);
    const std::vector<float>& ours = oursAll.mix[0];
    const std::vector<float>& reference = referenceAll.mix[0];
    ASSERT_GE(ours.size(), static_cast<size_t>(c.seconds * Rate) - 1);
    ASSERT_GE(reference.size(), static_cast<size_t>(c.seconds * Rate) / 2) << "reference render too short";

    // 10 ms loudness windows over the common length: the mix, then each side
    // on its own, so panning is compared as well.
    for (size_t k = 0; k < 3; ++k) {
        const double corr = audio::correlation(audio::loudnessEnvelope(oursAll.mix[k], 441),
                                               audio::loudnessEnvelope(referenceAll.mix[k], 441));
        EXPECT_GE(corr, c.minCorrelation) << c.name << " " << (k ? k == 1 ? "left " : "right " : "")
                                          << c.intendedDifference;
    }

    // The pitch track: each 20 ms tick (at 125 BPM) without its first 200
    // frames, where notes start, end and crossfade. Where both renders sound
    // and show a pitch, they must agree within 2%.
    if (c.comparePitchTrack) {
        const size_t tick = 882;
        const size_t skip = 200;
        const double floor = 0.05 * audio::peak(ours, 0, ours.size());
        const double floorRef = 0.05 * audio::peak(reference, 0, reference.size());
        const size_t common = std::min(ours.size(), reference.size());
        size_t voiced = 0, agreeing = 0;
        for (size_t from = 0; from + tick <= common; from += tick) {
            if (audio::rms(ours, from + skip, from + tick) < floor ||
                audio::rms(reference, from + skip, from + tick) < floorRef)
                continue;
            const double hz = audio::pitch(ours, from + skip, from + tick);
            const double hzRef = audio::pitch(reference, from + skip, from + tick);
            if (hz <= 0.0 || hzRef <= 0.0)
                continue;
            ++voiced;
            agreeing += std::fabs(hz - hzRef) <= 0.02 * hzRef;
        }
        std::printf("%-14s pitch track: %zu of %zu ticks agree\n", c.name.c_str(), agreeing, voiced);
        EXPECT_GE(agreeing, voiced * 95 / 100) << c.name << " " << c.intendedDifference;
        EXPECT_GT(voiced, 10u) << c.name;
    }

    for (const PitchWindow& w : c.pitchWindows) {
        const size_t from = static_cast<size_t>(w.from * Rate);
        const size_t to = static_cast<size_t>(w.to * Rate);
        const double hz = audio::pitch(ours, from, to), hzRef = audio::pitch(reference, from, to);
        EXPECT_NEAR(hz, hzRef, hzRef * 0.01)
            << c.name << " window " << w.from << ".." << w.to << " " << c.intendedDifference;
    }
}

INSTANTIATE_TEST_SUITE_P(Modules, Reference, ::testing::ValuesIn(cases),
                         [](const ::testing::TestParamInfo<ReferenceCase>& param) { return param.param.name; });
