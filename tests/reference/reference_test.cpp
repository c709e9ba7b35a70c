// Reference comparison: modules made here are written as .xm files and
// rendered by `xmtool render` and by openmpt123 (an outside renderer, linear
// interpolation), then compared tick by tick: the loudness must correlate
// closely and the pitch agree.
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

struct ReferenceCase {
    std::string name;
    std::function<void(XmModule&, XmPattern&)> write;   // into a two-channel sine song
    double seconds;
    bool comparePitchTrack = true;           // the pitch of every sounding tick too
};

constexpr double MinCorrelation = 0.97;     // of the loudness per tick

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

// A plucked 32-frame sine: its restarts are heard.
XmSample pluck(double decayFrames) {
    std::vector<int32_t> v;
    for (int k = 0; k < 8000; ++k)
        v.push_back(int32_t(std::lround(100.0 * std::exp(-k / decayFrames) * std::sin(2 * M_PI * k / 32.0))));
    return xmSample8(v);
}

// Instrument 2: the sine a fifth up, quieter, panned left.
void addFifth(XmModule& m) {
    XmSample s = m.instruments[0].samples[0];
    s.relativeNote = 7;
    s.volume = 40;
    s.panning = 60;
    m.addInstrument(s);
}

const ReferenceCase cases[] = {
    {"plain_notes",
     [](XmModule&, XmPattern& p) {
         const uint8_t notes[] = {49, 53, 56, 61, 44, 68};
         for (int i = 0; i < 6; ++i) {
             p.at(4 * i, 0) = xmNote(notes[i], 1);
             p.at(4 * i + 3, 0) = xmNote(97);
         }
     },
     24 * Row6},
    {"arpeggio",   // ticks after the first play base, y, x, base, y, x
     [](XmModule&, XmPattern& p) {
         p.at(0, 0) = xmCell(61, 1, 0, 0x0, 0x37);
         repeat(p, 1, 8, 0x0, 0x37);
         p.at(8, 0) = xmNote(97);
         p.at(12, 0) = xmCell(49, 1, 0, 0x0, 0x47);
         repeat(p, 13, 20, 0x0, 0x47);
         p.at(20, 0) = xmNote(97);
     },
     24 * Row6},
    {"vibrato",
     [](XmModule&, XmPattern& p) {
         p.at(0, 0) = xmCell(61, 1, 0, 0x4, 0x48);
         repeat(p, 1, 16, 0x4, 0x00);
         p.at(16, 0) = xmNote(97);
         p.at(20, 0) = xmCell(56, 1, 0x20, 0x4, 0x2C);
         repeat(p, 21, 28, 0x4, 0x00);
     },
     30 * Row6},
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
     24 * Row6},
    {"volume_column_portamento",   // slides to the note instead of starting it
     [](XmModule& m, XmPattern& p) {
         addFifth(m);
         p.at(0, 0) = xmNote(49, 1);
         p.at(2, 0) = xmCell(61, 0, 0xF4, 0, 0);
         p.at(3, 0) = xmCell(0, 0, 0xF0, 0, 0);
         p.at(6, 0) = xmCell(54, 2, 0xF2, 0, 0);   // the instrument number only resets the volume
         repeat(p, 7, 10, 0x3, 0x00);
         p.at(10, 0) = xmNote(97);
     },
     12 * Row6},
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
     22 * Row6},
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
     28 * Row6},
    {"key_off_without_envelope",   // the volume drops to 0; a volume or an instrument brings it back
     [](XmModule& m, XmPattern& p) {
         m.instruments[0].fadeout = 300;
         p.at(0, 0) = xmNote(61, 1);
         p.at(2, 0) = xmNote(97);
         p.at(4, 0) = xmCell(0, 0, 0x30, 0, 0);
         p.at(6, 0) = xmEffect(0xC, 0x40);
         p.at(8, 0) = xmNote(0, 1);
         p.at(10, 0) = xmNote(97, 1);   // released, then back to the sample's volume
         p.at(12, 0) = xmNote(97);
     },
     14 * Row6},
    {"tremolo",   // the level carries over from row to row
     [](XmModule&, XmPattern& p) {
         p.at(0, 0) = xmCell(61, 1, 0x30, 0x7, 0x48);
         repeat(p, 1, 8, 0x7, 0x00);
         p.at(8, 0) = xmEffect(0xA, 0x01);
         p.at(10, 0) = xmCell(0, 0, 0x20, 0x7, 0x00);
         p.at(12, 0) = xmNote(97);
     },
     14 * Row6},
    {"multi_retrigger",   // a counter over all ticks of R rows, tick 0 included
     [](XmModule& m, XmPattern& p) {
         m.addInstrument(pluck(1500));
         const XmCell rows[] = {xmCell(61, 2, 0, 0x1B, 0x04), xmEffect(0x1B, 0x04),
                                xmCell(0, 0, 0x40, 0x1B, 0x04), xmEffect(0x1B, 0x04),
                                xmCell(61, 0, 0, 0x1B, 0x04), xmCell(61, 2, 0, 0x1B, 0x04),
                                xmEffect(0x1B, 0x63), xmEffect(0x1B, 0x00), xmEffect(0x1B, 0x50),
                                xmCell(0, 0, 0x30, 0x1B, 0xE2), xmNote(97)};
         for (int r = 0; r < 11; ++r)
             p.at(r, 0) = rows[r];
     },
     12 * Row6},
    {"instrument_without_note",   // the playing sample goes on; the next note takes the number
     [](XmModule& m, XmPattern& p) {
         addFifth(m);
         p.at(0, 0) = xmNote(61, 1, 0x20);
         p.at(2, 0) = xmNote(0, 2);
         p.at(4, 0) = xmNote(56);
         p.at(6, 0) = xmNote(0, 1, 0x30);
         p.at(8, 0) = xmNote(61);
         p.at(10, 0) = xmNote(97);
     },
     12 * Row6},
    {"sample_offset_beside_portamento",   // ignored there and not remembered
     [](XmModule& m, XmPattern& p) {
         m.addInstrument(pluck(3000));
         p.at(0, 0) = xmCell(61, 2, 0, 0x9, 0x08);
         p.at(2, 0) = xmCell(63, 0, 0xF8, 0x9, 0x18);
         p.at(4, 0) = xmCell(61, 2, 0, 0x9, 0x00);
         p.at(6, 0) = xmEffect(0x9, 0x14);   // without a note: only remembered
         p.at(8, 0) = xmCell(61, 2, 0, 0x9, 0x00);
     },
     10 * Row6},
    {"note_delay",
     [](XmModule& m, XmPattern& p) {
         m.instruments[0].volumeEnvelope.points = {{0, 64}, {6, 16}, {12, 48}};
         m.instruments[0].volumeEnvelope.flags = 1;
         m.instruments[0].fadeout = 800;
         p.at(0, 0) = xmCell(49, 1, 0, 0xE, 0xD0);      // ED0 plays at once
         p.at(2, 0) = xmCell(56, 0, 0x20, 0xE, 0xD3);   // no instrument: keeps its volume
         p.at(4, 0) = xmCell(61, 1, 0, 0xE, 0xD2);
         p.at(5, 0) = xmCell(0, 0, 0x64, 0, 0);
         p.at(6, 0) = xmCell(97, 0, 0, 0xE, 0xD4);      // a delayed release
         p.at(9, 0) = xmCell(0, 0, 0, 0xE, 0xD2);       // the last note again
     },
     12 * Row6},
    {"key_off_effect",   // Kxx releases at tick xx, never at or past the speed
     [](XmModule&, XmPattern& p) {
         p.at(0, 0) = xmCell(61, 1, 0, 0x14, 0x03);
         p.at(2, 0) = xmCell(56, 1, 0, 0x14, 0x06);
         p.at(4, 0) = xmCell(49, 1, 0, 0x14, 0x00);
         p.at(6, 0) = xmNote(61, 1);
         p.at(7, 0) = xmCell(0, 1, 0, 0x14, 0x00);   // beside an instrument number: nothing
     },
     9 * Row6},
    {"finetune_effect",   // for the note of its own cell only, the same the second time
     [](XmModule& m, XmPattern& p) {
         m.orders = {0, 0};
         p.rows = 8;
         p.at(0, 0) = xmCell(61, 1, 0, 0xE, 0x5F);
         p.at(2, 0) = xmNote(61, 1);
         p.at(4, 0) = xmCell(56, 1, 0, 0xE, 0x51);
         p.at(6, 0) = xmNote(56, 1);
     },
     16 * Row6},
    {"many_samples",   // an instrument's samples past the sixteenth are skipped
     [](XmModule& m, XmPattern& p) {
         XmInstrument& ins = m.instruments[0];
         for (int k = 1; k < 18; ++k) {
             ins.samples.push_back(ins.samples[0]);
             ins.samples.back().relativeNote = int8_t(k);
         }
         for (int n = 48; n < 96; ++n)
             ins.sampleMap[n] = 15;
         addFifth(m);
         p.at(0, 0) = xmNote(37, 1);
         p.at(2, 0) = xmNote(61, 1);
         p.at(4, 0) = xmNote(49, 2);
         p.at(6, 0) = xmNote(97);
     },
     8 * Row6},
    {"delay_cut_retrigger",
     [](XmModule& m, XmPattern& p) {
         m.addInstrument(pluck(1200));
         p.at(0, 0) = xmCell(49, 2, 0, 0xE, 0x93);
         p.at(2, 0) = xmCell(49, 2, 0, 0xE, 0xD3);
         p.at(4, 0) = xmCell(49, 1, 0, 0xE, 0xC2);
         p.at(6, 0) = xmCell(49, 2, 0x40, 0x1B, 0x82);
         p.at(7, 0) = xmEffect(0x1B, 0x00);
         p.at(8, 0) = xmCell(61, 2, 0, 0xE, 0xE2);    // pattern delay: 3 rows long
         p.at(9, 0) = xmCell(56, 2, 0, 0xF, 0x03);    // speed 3
         p.at(12, 0) = xmNote(97);
     },
     16 * Row6},
    {"panning",
     [](XmModule&, XmPattern& p) {
         p.at(0, 0) = xmCell(61, 1, 0, 0x8, 0x20);
         p.at(0, 1) = xmCell(56, 1, 0xC8, 0x19, 0x0F);   // slides left
         p.at(4, 0) = xmEffect(0x8, 0xE0);
         p.at(8, 1) = xmCell(0, 0, 0xEF, 0, 0);
     },
     16 * Row6, false},   // two notes at once: no single pitch to track
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
     32 * 0.06},
};

// Names the case instead of dumping its bytes in test listings.
void PrintTo(const ReferenceCase& c, std::ostream* out) { *out << c.name; }

}  // namespace

class Reference : public ::testing::TestWithParam<ReferenceCase> {};

TEST_P(Reference, LoudnessAndPitchAgreeWithTheOutsideRendererTickByTick) {
    if (!haveOpenmpt())
        GTEST_SKIP() << "openmpt123 is not installed";
    const ReferenceCase& c = GetParam();
    const auto [oursAll, referenceAll] = renderBoth(c);
    const std::vector<float>& ours = oursAll.mix[0];
    const std::vector<float>& reference = referenceAll.mix[0];
    ASSERT_GE(ours.size(), static_cast<size_t>(c.seconds * Rate) - 1);
    ASSERT_GE(reference.size(), static_cast<size_t>(c.seconds * Rate) / 2) << "reference render too short";

    // Ticks of 882 frames (125 BPM). The loudness per tick must correlate:
    // of the mix, then of each side on its own, so panning is compared too.
    // Where both renders sound and show a pitch, it must agree within 2%.
    const size_t tick = 882;
    const size_t common = std::min(ours.size(), reference.size());
    std::vector<double> level[3], levelRef[3];
    const double floor = 0.05 * audio::peak(ours, 0, ours.size());
    const double floorRef = 0.05 * audio::peak(reference, 0, reference.size());
    size_t voiced = 0, agreeing = 0;
    for (size_t from = 0; from + tick <= common; from += tick) {
        for (size_t k = 0; k < 3; ++k) {
            level[k].push_back(audio::measureTick(oursAll.mix[k], from, tick).level);
            levelRef[k].push_back(audio::measureTick(referenceAll.mix[k], from, tick).level);
        }
        const audio::TickMeasure a = audio::measureTick(ours, from, tick);
        const audio::TickMeasure b = audio::measureTick(reference, from, tick);
        if (a.level < floor || b.level < floorRef || a.hz <= 0.0 || b.hz <= 0.0)
            continue;
        ++voiced;
        agreeing += std::fabs(a.hz - b.hz) <= 0.02 * b.hz;
    }
    double r[3];
    for (size_t k = 0; k < 3; ++k) {
        r[k] = audio::correlation(level[k], levelRef[k]);
        EXPECT_GE(r[k], MinCorrelation) << c.name << " " << (k ? k == 1 ? "left" : "right" : "");
    }
    std::printf("%-32s loudness r %.3f (left %.3f, right %.3f), pitch: %zu of %zu ticks agree\n",
                c.name.c_str(), r[0], r[1], r[2], agreeing, voiced);
    if (c.comparePitchTrack) {
        EXPECT_GE(agreeing, voiced * 97 / 100) << c.name;
        EXPECT_GT(voiced, 10u) << c.name;
    }
}

INSTANTIATE_TEST_SUITE_P(Modules, Reference, ::testing::ValuesIn(cases),
                         [](const ::testing::TestParamInfo<ReferenceCase>& param) { return param.param.name; });
