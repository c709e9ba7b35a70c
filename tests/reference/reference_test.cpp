// Reference comparison: modules made here are written as .xm files and
// rendered by `xmtool render` and by openmpt123 (an outside renderer, linear
// interpolation), then compared tick by tick: the loudness must correlate
// closely and the pitch agree. The intro's tune is compared whole.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
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

bool haveOpenmpt() { return std::system("openmpt123 --version >/dev/null 2>&1") == 0; }

// The module at path rendered by xmtool, then by the reference renderer
// (linear interpolation, 44,100 Hz 16-bit), for the given seconds or the song once.
std::pair<std::vector<int16_t>, std::vector<int16_t>> renderBoth(const std::string& path, double seconds,
                                                                  std::string outside = "") {
    if (outside.empty())
        outside = path;
    char limit[64] = "";
    if (seconds > 0)
        std::snprintf(limit, sizeof limit, " --seconds %g", seconds);
    const std::string ours = std::string(XMTOOL_PATH) + " render" + limit + " " + path + " " + path + ".ours.wav 2>/dev/null";
    EXPECT_EQ(std::system(ours.c_str()), 0) << ours;
    if (seconds > 0)
        std::snprintf(limit, sizeof limit, " --end-time %g", seconds);
    const std::string reference = "openmpt123 --quiet --force --render --samplerate 44100 --channels 2 --no-float "
                                  "--filter 2" + std::string(limit) + " --output-type wav " + outside + " >/dev/null 2>&1";
    EXPECT_EQ(std::system(reference.c_str()), 0) << reference;
    return {audio::readWav(path + ".ours.wav"), audio::readWav(outside + ".wav")};
}

// One instrument: a looped 32-frame sine.
XmModule sineSong() {
    XmModule m;
    m.channels = 2;
    m.orders = {0};
    m.addPattern(32);
    m.addInstrument(xmSample8(audio::sineCycle(32, 90)).loop(0, 32, 1));
    return m;
}

// A cell on channel 0 (or the one given) at a row, or on every row from row to last.
struct At {
    int row;
    XmCell cell;
    int last = -1;
    int channel = 0;
};

struct ReferenceCase {
    std::string name;
    int rows;                 // compared, at the starting speed and 125 BPM
    std::vector<At> cells;    // of a two-channel song playing a looped sine
    std::function<void(XmModule&)> setUp = {};
    bool comparePitchTrack = true;   // the pitch of every sounding tick too
    // Where the classic tracker's recordings and the outside renderer part
    // ways: the module as the outside renderer must be given to sound as the
    // recordings do.
    std::function<void(XmModule&)> outsideAsHeard = {};
    double loudness = 0.97;   // the least correlation of the loudness per tick
};

XmCell N(uint8_t note, uint8_t instrument = 0, uint8_t volume = 0) { return xmNote(note, instrument, volume); }
XmCell C(uint8_t note, uint8_t instrument, uint8_t volume, uint8_t effect, uint8_t param) {
    return xmCell(note, instrument, volume, effect, param);
}
XmCell E(uint8_t effect, uint8_t param) { return xmEffect(effect, param); }
XmCell V(uint8_t volume) { return xmNote(0, 0, volume); }

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
    {"plain_notes", 24,
     {{0, N(49, 1)}, {3, N(97)}, {4, N(53, 1)}, {7, N(97)}, {8, N(56, 1)}, {11, N(97)}, {12, N(61, 1)}, {15, N(97)},
      {16, N(44, 1)}, {19, N(97)}, {20, N(96, 1)}, {23, N(97)}}},   // the last at B-7, the highest
    {"arpeggio", 24,   // ticks after the first play base, y, x, base, y, x
     {{0, C(61, 1, 0, 0x0, 0x37)}, {1, E(0x0, 0x37), 7}, {8, N(97)},
      {12, C(49, 1, 0, 0x0, 0x47)}, {13, E(0x0, 0x47), 19}, {20, N(97)}}},
    {"vibrato", 30,
     {{0, C(61, 1, 0, 0x4, 0x48)}, {1, E(0x4, 0x00), 15}, {16, N(97)},
      {20, C(56, 1, 0x20, 0x4, 0x2C)}, {21, E(0x4, 0x00), 27}}},
    {"portamento", 24,   // 3xx with nothing to slide to; up, down; a tone portamento up an octave, then no more
     {{0, N(61, 1)}, {1, E(0x3, 0x10)}, {2, E(0x1, 0x08)}, {3, E(0x1, 0x00)}, {6, E(0x2, 0x10)}, {7, E(0x2, 0x00)},
      {10, N(97)},
      {12, N(49, 1)}, {14, C(61, 0, 0, 0x3, 0x20)}, {15, E(0x3, 0x00), 19}, {20, V(0xF2)}, {22, N(97)}}},
    {"portamento_in_both_columns", 10,   // the volume column's speed wins over 3xx's, and both slide each tick
     {{0, N(49, 1)}, {1, C(61, 0, 0xF1, 0x3, 0x01)}, {2, E(0x3, 0x00)}, {3, C(49, 0, 0xF2, 0x3, 0x04)},
      {4, E(0x3, 0x00)}, {5, C(56, 0, 0xF0, 0x3, 0x08)}, {6, E(0x3, 0x00)}, {8, N(97)}},
     {}, true, [](XmModule& m) {   // one slide at the speed of both
         const uint8_t speeds[] = {0x20, 0x10, 0x40, 0x20, 0x10, 0x08};
         for (int row = 1; row <= 6; ++row)
             m.patterns[0].at(row, 0).volumeColumn = 0, m.patterns[0].at(row, 0).effectParam = speeds[row - 1];
     }},
    {"volume_column_portamento", 12,   // slides to the note; an instrument number only resets the volume
     {{0, N(49, 1)}, {2, C(61, 0, 0xF4, 0, 0)}, {3, V(0xF0)}, {6, C(54, 2, 0xF2, 0, 0)}, {7, E(0x3, 0x00), 9},
      {10, N(97)}},
     addFifth},
    {"volume_slides", 16,   // down 3, up 2; the column's slides and fine slides, fine up 8
     {{0, C(61, 1, 0, 0xA, 0x03)}, {1, E(0xA, 0x00), 3}, {4, E(0xA, 0x20), 7}, {8, V(0x65)}, {9, V(0x83)},
      {10, C(0, 0, 0x94, 0xE, 0xA8)}, {11, V(0x73)}, {12, V(0x10)}, {13, V(0x9F), 14}, {15, V(0x8F)}}},
    {"envelopes", 28,
     {{0, N(61, 1)}, {8, N(97)}, {16, N(56, 1)}, {18, N(97)}},
     [](XmModule& m) {
         XmInstrument& ins = m.instruments[0];
         ins.volumeEnvelope = {{{0, 0}, {8, 64}, {20, 40}, {40, 48}, {80, 0}}, 2, 0, 0, EnvelopeOn | EnvelopeSustain, {}};
         ins.panningEnvelope = {{{0, 32}, {30, 0}, {60, 64}}, 1, 0, 0, EnvelopeOn | EnvelopeSustain, {}};
         ins.fadeout = 600;
     }},
    {"envelope_loops", 20,
     {{0, N(61, 1)}, {12, N(97)}},
     [](XmModule& m) {
         XmInstrument& ins = m.instruments[0];
         ins.volumeEnvelope = {{{0, 64}, {6, 16}, {14, 48}, {20, 8}}, 0, 1, 2, EnvelopeOn | EnvelopeLoop, {}};
         ins.panningEnvelope = {{{0, 0}, {10, 64}, {16, 20}}, 0, 0, 2, EnvelopeOn | EnvelopeLoop, {}};
         ins.fadeout = 400;
     },
     false},
    {"release_paths", 18,   // without an envelope a faded note comes back; a key-off's waiting number ends
                            // the release, the fade pausing until the next one
     {{0, N(56, 2)}, {1, N(97)}, {4, N(0, 2)}, {7, N(61, 3)}, {8, N(97, 3)}, {10, N(61)}, {14, N(97)}},
     [](XmModule& m) {
         addFifth(m);
         m.instruments[1].fadeout = 2500;
         XmInstrument& held = m.addInstrument(m.instruments[0].samples[0]);
         held.volumeEnvelope = {{{0, 64}, {4, 64}, {8, 64}}, 1, 0, 0, EnvelopeOn | EnvelopeSustain, {}};
         held.fadeout = 1500;
     }},
    {"envelope_takeover", 18,   // a note taking another instrument's waiting number goes on with its envelope
                                // from the channel's position, also one that Lxx set without an envelope
     {{0, N(61, 1)}, {1, C(0, 2, 0, 0x15, 10)}, {3, N(61)}, {6, N(49, 3)}, {9, N(97, 2)}, {11, N(56)}},
     [](XmModule& m) {
         addFifth(m);
         m.instruments[1].volumeEnvelope = {{{0, 64}, {4, 16}, {12, 64}, {40, 8}}, 0, 0, 0, EnvelopeOn, {}};
         XmInstrument& third = m.addInstrument(m.instruments[0].samples[0]);
         third.volumeEnvelope = {{{0, 20}, {12, 64}}, 0, 0, 0, EnvelopeOn, {}};
     }},
    {"key_off_without_envelope", 14,   // the volume drops to 0; a volume or an instrument brings it back, the panning too
     {{0, N(61, 1)}, {2, N(97)}, {4, V(0x30)}, {6, E(0xC, 0x40)}, {8, N(0, 1)}, {9, V(0xC2)}, {10, N(97, 1)}, {12, N(97)}},
     [](XmModule& m) { m.instruments[0].fadeout = 300; }},
    {"tremolo", 14,   // the level carries over from row to row
     {{0, C(61, 1, 0x30, 0x7, 0x48)}, {1, E(0x7, 0x00), 7}, {8, E(0xA, 0x01)}, {10, C(0, 0, 0x20, 0x7, 0x00)},
      {12, N(97)}}},
    {"tremor", 14,   // on the ticks after a row's first, across rows; silent until a volume or an instrument number
     {{0, C(61, 1, 0, 0x1D, 0x12)}, {1, E(0x1D, 0x00)}, {2, E(0x1D, 0x31)}, {4, N(61)}, {5, E(0x1D, 0x04)},
      {7, N(0, 1)}, {8, E(0x1D, 0x02), 9}, {10, E(0xE, 0x93)}, {11, N(97, 1)}, {12, E(0x1D, 0x00)}}},
    {"tremor_silence_ended_by_a_volume", 8,   // the volume column's volume brings the note back at once
     {{0, C(61, 1, 0, 0x1D, 0x13)}, {1, E(0x1D, 0x00)}, {3, V(0x30)}, {5, V(0x20)}, {7, N(97)}},
     {}, true, [](XmModule& m) { m.patterns[0].at(3, 0).instrument = 1; }},
    {"multi_retrigger", 12,   // a counter over all ticks of R rows, tick 0 included
     {{0, C(61, 2, 0, 0x1B, 0x04)}, {1, E(0x1B, 0x04)}, {2, C(0, 0, 0x40, 0x1B, 0x04)}, {3, E(0x1B, 0x04)},
      {4, C(61, 0, 0, 0x1B, 0x04)}, {5, C(61, 2, 0, 0x1B, 0x04)}, {6, E(0x1B, 0x63)}, {7, E(0x1B, 0x00)},
      {8, C(0, 3, 0, 0x1B, 0x50)}, {9, C(0, 0, 0x30, 0x1B, 0xE2)}, {10, N(56)}, {11, N(97)}},
     [](XmModule& m) {   // the number waiting at a restart is dropped: the next note keeps the pluck
         m.addInstrument(pluck(1500));
         addFifth(m);
     }},
    {"multi_retrigger_released", 10,   // beside an instrument number each restart starts the fade-out again
     {{0, N(49, 1)}, {2, C(97, 1, 0, 0x1B, 0x03)}, {4, C(97, 1, 0, 0x1B, 0x00)}, {5, E(0x1B, 0x00)}, {7, N(0, 1)}},
     [](XmModule& m) {
         m.instruments[0].fadeout = 2000;
         m.instruments[0].volumeEnvelope = {{{0, 64}, {60, 0}}, 0, 0, 0, EnvelopeOn, {}};
     }},
    {"ping_pong_sample_from_its_start", 8,   // silence, then the loop: a note never starts going backward
     {{0, N(49, 2)}, {2, N(49, 2)}, {6, N(97)}},
     [](XmModule& m) {
         std::vector<int32_t> v(3000, 0);
         for (int k = 0; k < 32; ++k)
             v.push_back(int32_t(std::lround(90 * std::sin(M_PI * k / 32))));
         m.addInstrument(xmSample8(v).loop(3000, 32, 2));
     },
     false},
    {"instrument_without_note", 12,   // the playing sample goes on; the next note takes the number
     {{0, N(61, 1, 0x20)}, {2, N(0, 2)}, {4, N(56)}, {6, N(0, 1, 0x30)}, {8, N(61)}, {10, N(97)}},
     addFifth},
    {"instrument_alone_on_a_fresh_channel", 10,   // takes the volume of nothing played: 0, until a volume is set
     {{0, N(0, 1)}, {2, N(61)}, {4, V(0x40)}, {6, N(56)}, {8, N(97)}},
     {}, true, [](XmModule& m) { m.patterns[0].at(2, 0).volumeColumn = 0x10; }},
    {"sample_offset_beside_portamento", 12,   // ignored there and not remembered; without a note only remembered
     {{0, C(61, 2, 0, 0x9, 0x08)}, {2, C(63, 0, 0xF8, 0x9, 0x18)}, {4, C(61, 2, 0, 0x9, 0x00)},
      {6, E(0x9, 0x14)}, {8, C(61, 2, 0, 0x9, 0x00)}, {10, C(61, 2, 0, 0x9, 0x20)}},
     [](XmModule& m) { m.addInstrument(pluck(3000)); }},
    {"note_delay", 12,   // ED0 at once; without an instrument the volume stays; a delayed release; the last note again
     {{0, C(49, 1, 0, 0xE, 0xD0)}, {2, C(56, 0, 0x20, 0xE, 0xD3)}, {4, C(61, 1, 0, 0xE, 0xD2)}, {5, V(0x64)},
      {6, C(97, 0, 0, 0xE, 0xD4)}, {9, C(0, 0, 0, 0xE, 0xD2)}},
     [](XmModule& m) {
         m.instruments[0].volumeEnvelope = {{{0, 64}, {6, 16}, {12, 48}}, 0, 0, 0, EnvelopeOn, {}};
         m.instruments[0].fadeout = 800;
     }},
    {"delayed_note_beside_volume_column_portamento", 10,   // plays at its tick; the slide goes on to the old note
     {{0, N(61, 1)}, {1, C(49, 0, 0xF2, 0, 0)}, {2, V(0xF0)}, {3, C(68, 0, 0xFF, 0xE, 0xD5)}, {4, V(0xF0), 6},
      {8, N(97)}},
     {}, true, [](XmModule& m) { m.patterns[0].at(3, 0).volumeColumn = 0; }},
    {"delayed_note_keeps_the_volume", 6,   // of the channel when it comes without an instrument number
     {{0, N(61, 1, 0x20)}, {2, C(56, 0, 0, 0xE, 0xD3)}, {4, N(97)}}},
    {"key_off_effect", 9,   // Kxx releases at tick xx (before its envelope step), never at or past the speed,
                            // nor beside an instrument
     {{0, C(61, 1, 0, 0x14, 0x03)}, {1, C(61, 1, 0, 0x14, 0x02)}, {2, C(56, 1, 0, 0x14, 0x06)},
      {3, C(61, 1, 0, 0x14, 0x04)}, {4, C(49, 1, 0, 0x14, 0x00)}, {6, N(61, 1)}, {7, C(0, 1, 0, 0x14, 0x00)}},
     [](XmModule& m) {
         m.instruments[0].volumeEnvelope = {{{0, 64}, {2, 64}, {4, 0}}, 1, 0, 0, EnvelopeOn | EnvelopeSustain, {}};
     }},
    {"finetune_effect", 16,   // for the note of its own cell only, the same the second time
     {{0, C(61, 1, 0, 0xE, 0x5F)}, {2, N(61, 1)}, {4, C(56, 1, 0, 0xE, 0x51)}, {6, N(56, 1)}},
     [](XmModule& m) {
         m.orders = {0, 0};
         m.patterns[0].rows = 8;
     }},
    {"portamento_in_the_sounding_finetune", 12,   // the target takes the finetune E5x gave the note that sounds
     {{0, C(61, 1, 0, 0xE, 0x5F)}, {2, N(0, 1)}, {3, C(61, 0, 0, 0x3, 0x10)}, {4, E(0x3, 0x00)},
      {6, C(56, 1, 0, 0xE, 0x51)}, {7, C(61, 0, 0, 0x3, 0x08)}, {8, E(0x3, 0x00), 9}, {10, N(97)}}},
    {"many_samples", 8,   // an instrument's samples past the sixteenth are skipped
     {{0, N(37, 1)}, {2, N(61, 1)}, {4, N(49, 2)}, {6, N(97)}},
     [](XmModule& m) {
         XmInstrument& ins = m.instruments[0];
         for (int k = 1; k < 18; ++k) {
             ins.samples.push_back(ins.samples[0]);
             ins.samples.back().relativeNote = int8_t(k);
             if (k >= 16) ins.samples.back().values.resize(8);   // skipped by their own length
         }
         for (int n = 48; n < 96; ++n) ins.sampleMap[n] = 15;
         addFifth(m);
     }},
    {"delay_cut_retrigger", 16,   // then a pattern delay (3 rows long, the note delayed in each) and speed 3
     {{0, C(49, 2, 0, 0xE, 0x93)}, {2, C(49, 2, 0, 0xE, 0xD3)}, {4, C(49, 1, 0, 0xE, 0xC2)},
      {6, C(49, 2, 0x40, 0x1B, 0x82)}, {7, E(0x1B, 0x00)}, {8, C(61, 2, 0, 0xE, 0xD2)}, {8, E(0xE, 0xE2), -1, 1},
      {9, C(56, 2, 0, 0xF, 0x03)},
      {12, N(97)}},
     [](XmModule& m) { m.addInstrument(pluck(1200)); }},
    {"panning", 16,   // two notes at once (no single pitch to track); slides and their limits
     {{0, C(61, 1, 0, 0x8, 0x20)}, {0, C(56, 1, 0xC8, 0x19, 0x0F), -1, 1}, {4, E(0x8, 0xE0)}, {8, V(0xEF), -1, 1},
      {10, E(0x19, 0xF0), 12}, {13, C(0, 0, 0xD4, 0xE, 0x84), -1, 1}, {14, C(0, 0, 0xEF, 0x8, 0xFA)}},
     {},
     false},
    {"pattern_loop", 32,   // rows 0..7, then 2..7 three more times, then 8..: 32 rows at speed 3
     {{0, N(49, 1)}, {2, C(56, 1, 0, 0xE, 0x60)}, {4, N(97)}, {5, N(61, 1, 0x28)}, {7, C(97, 0, 0, 0xE, 0x63)},
      {9, N(68, 1)}, {11, N(97)}},
     [](XmModule& m) { m.speed = 3; }},
    {"fine_portamentos", 10,   // on tick 0 only, each with its own memory
     {{0, C(49, 1, 0, 0xE, 0x1F)}, {1, E(0xE, 0x10)}, {2, E(0xE, 0x24)}, {3, E(0x21, 0x1A)}, {4, E(0x21, 0x10)},
      {5, E(0x21, 0x2F)}, {6, E(0xE, 0x20)}, {7, E(0x21, 0x20)}, {8, N(97)}}},
    {"auto_vibrato", 26,   // the instrument's own sine vibrato, its depth rising over the sweep at each note
     {{0, N(61, 1)}, {12, N(97)}, {14, N(56, 1)}, {24, N(97)}},
     [](XmModule& m) {
         XmInstrument& ins = m.instruments[0];
         ins.vibratoSweep = 40;
         ins.vibratoDepth = 40;
         ins.vibratoRate = 16;
     }},
    {"arpeggio_after_a_slide", 8,   // from the note nearest the slid pitch, a tie to the lower; the base stays slid
     {{0, C(49, 1, 0, 0xE, 0x28)}, {1, E(0x0, 0xC0)}, {2, E(0xE, 0x11)}, {3, E(0x0, 0xC0)}, {4, E(0xE, 0x2A)},
      {5, E(0x0, 0x7C), 6}}},
    {"pattern_loop_leaves_its_row_to_the_next_pattern", 20,
     {{0, N(49, 1)}, {2, N(56, 1)}, {3, E(0xE, 0x60)}, {5, E(0xE, 0x61)}},
     [](XmModule& m) {
         m.patterns[0].rows = 6;
         m.addPattern(16).at(0, 0) = N(61, 1);
         m.patterns[1].at(3, 0) = N(68, 1);
         m.orders = {0, 1};
     }},
    {"arpeggio_slow", 2,   // at speed 29 the low nibble's note until the count reaches 16
     {{0, C(61, 1, 0, 0x0, 0x47)}, {1, E(0x0, 0x47)}},
     [](XmModule& m) { m.speed = 29; }},
    {"glissando", 14,   // E31: the slide heard in the target's semitones, the nearest, a tie to the lower; held after it
     {{0, C(49, 1, 0, 0xE, 0x31)}, {1, C(61, 0, 0x30, 0x3, 0x04)}, {2, E(0x3, 0x00), 5}, {6, C(51, 0, 0x50, 0x3, 0x05)},
      {7, E(0x3, 0x00), 9}, {10, C(0, 0, 0x20, 0xE, 0x30)}, {11, E(0x3, 0x00)}, {13, N(97)}},
     [](XmModule& m) { m.instruments[0].samples[0].finetune = -40; }},
    {"glissando_amiga", 12,
     {{0, C(49, 1, 0, 0xE, 0x31)}, {1, C(61, 0, 0x30, 0x3, 0x04)}, {2, E(0x3, 0x00), 5}, {6, C(51, 0, 0x50, 0x3, 0x06)},
      {7, E(0x3, 0x00), 9}, {11, N(97)}},
     [](XmModule& m) { m.flags = 0; }},
    {"amiga_periods", 18,   // slides in Amiga periods; an arpeggio from the note nearest a slid pitch; vibrato
     {{0, C(61, 1, 0, 0x1, 0x04)}, {1, E(0x1, 0x00), 2}, {3, E(0x2, 0x08)}, {5, C(49, 0, 0, 0x3, 0x10)},
      {6, E(0x3, 0x00), 8}, {9, C(56, 1, 0, 0x0, 0x37)}, {10, E(0xE, 0x14)}, {11, E(0xE, 0x28)},
      {12, E(0x1, 0x05)}, {13, E(0x0, 0xC4)}, {14, E(0x4, 0x6C), 15}, {16, N(97)}},
     [](XmModule& m) { m.flags = 0; }},
    {"tempo_and_global_volume", 14,   // 80 BPM, 200 BPM, global volume above 64 is full
     {{0, C(61, 1, 0, 0xF, 0x50)}, {2, E(0x10, 0x20)}, {4, E(0xF, 0xC8)}, {5, E(0x10, 0x50)}, {7, E(0x11, 0x08)},
      {8, E(0x11, 0x00)}, {9, E(0x11, 0x90)}, {10, E(0xF, 0x7D)}, {12, N(97)}},
     {}, true, {}, 0.95},   // each global volume heard a tick after the outside renderer hears it
    {"global_volume_heard_a_tick_later", 24,   // on every channel, also the one that sets it
     {{0, N(61, 1)}, {0, N(56, 2), -1, 1}, {2, E(0x10, 0x10), -1, 1}, {4, E(0x10, 0x40), -1, 1}, {5, E(0x10, 0x00)},
      {7, E(0x10, 0x30), -1, 1}, {9, E(0x10, 0x40)}, {12, E(0x10, 0x08), -1, 1}, {13, E(0x10, 0x40), -1, 1},
      {16, E(0x10, 0x20)}, {20, E(0x10, 0x40), -1, 1}},
     [](XmModule& m) { addFifth(m), m.speed = 1; }, true,
     [](XmModule& m) {   // at speed 1 a tick later is a row later
         XmPattern& p = m.patterns[0];
         for (uint32_t row = p.rows - 1; row > 0; --row)
             for (uint32_t c = 0; c < 2; ++c)
                 if (p.at(row - 1, c).effect == 0x10)
                     std::swap(p.at(row, c), p.at(row - 1, c));
     }},
    {"volume_slide_memories", 12,   // A, 5 and 6 share one memory; EA and EB each keep their own
     {{0, C(61, 1, 0x50, 0xA, 0x02)}, {1, E(0x6, 0x00)}, {2, E(0x5, 0x00)}, {3, E(0xA, 0x10)}, {4, E(0x6, 0x00)},
      {5, E(0xE, 0xA3)}, {6, E(0xE, 0xA0)}, {7, E(0xE, 0xB2)}, {8, E(0xE, 0xA0)}, {9, E(0xE, 0xB0)}, {10, N(97)}}},
    {"global_volume_memory", 10,   // one memory for the song: H00 on two channels slides twice a tick
     {{0, N(61, 1)}, {1, E(0x11, 0x02)}, {2, E(0x11, 0x00)}, {2, E(0x11, 0x00), -1, 1}, {4, E(0x10, 0x40)},
      {5, E(0x11, 0x30), -1, 1}, {6, E(0x11, 0x00)}, {6, E(0x11, 0x00), -1, 1}, {8, N(97)}}},
    {"vibrato_memory_with_column", 10,   // the column's speed and depth feed effect 4 and the other way round;
                                         // beside each other both step, the effect's own depth last
     {{0, N(61, 1, 0xA3)}, {1, C(0, 0, 0xB8, 0x4, 0x00)}, {2, E(0x4, 0x00), 3}, {4, C(0, 0, 0xB2, 0x4, 0x60)},
      {5, V(0xB0)}, {6, E(0x4, 0x00)}, {7, C(0, 0, 0xBF, 0x4, 0x21)}, {8, N(97)}}},
    {"volume_limits", 8,   // C above 64 is 64; a slide stops at 0 and stays there
     {{0, C(61, 1, 0, 0xC, 0x50)}, {2, C(0, 0, 0x1A, 0xA, 0x0F)}, {3, E(0xA, 0x00)}, {4, V(0x40)}, {6, N(97)}}},
    {"wave_control", 20,   // a new note restarts vibrato and tremolo unless E4x and E7x say otherwise
     {{0, C(61, 1, 0, 0x4, 0x48)}, {1, E(0x4, 0x00)}, {2, C(56, 0, 0, 0x4, 0x00)}, {3, C(0, 0, 0, 0xE, 0x44)},
      {4, C(61, 0, 0, 0x4, 0x00)}, {5, C(56, 0, 0, 0x4, 0x00)}, {6, C(0, 0, 0, 0xE, 0x40)}, {7, C(61, 0, 0, 0x4, 0x00)},
      {9, C(61, 1, 0, 0x7, 0x48)}, {10, C(56, 0, 0, 0x7, 0x00)}, {11, C(0, 0, 0, 0xE, 0x74)}, {12, C(61, 0, 0, 0x7, 0x00)},
      {13, C(56, 0, 0, 0x7, 0x00)}, {14, N(97)}}},
    {"pattern_delay_channels", 16,   // the highest channel's EEx wins; the repeats take the row's final speed
     {{0, C(49, 1, 0, 0xE, 0xE2)}, {1, N(56, 1)}, {2, E(0xE, 0xE1)}, {2, E(0xE, 0xE3), -1, 1}, {3, N(61, 1)},
      {4, E(0xE, 0xE3)}, {4, E(0xE, 0xE1), -1, 1}, {5, N(56, 1)}, {6, N(97)}, {7, C(49, 1, 0, 0xE, 0xE3)},
      {7, E(0xF, 0x02), -1, 1}, {8, N(61, 1)}, {9, N(56, 1)}, {10, E(0xF, 0x06), -1, 1}}},
    {"volume_column_set", 16,   // 0x10 is volume 0, 0x50 is 64; 0x0F and 0x51 set nothing
     {{0, N(61, 1, 0x10)}, {2, V(0x30)}, {4, V(0x0F)}, {6, V(0x50)}, {8, V(0x20)}, {10, V(0x51)}, {12, V(0x11)},
      {14, N(97)}}},
    {"tremolo_waveforms", 12,   // E70..E72 held over the rows after them: sine, ramp, square
     {{0, C(61, 1, 0x30, 0x7, 0x48)}, {1, E(0x7, 0x00), 3}, {4, E(0xE, 0x71)}, {5, E(0x7, 0x00), 7}, {8, E(0xE, 0x72)},
      {9, E(0x7, 0x00), 11}}},
    {"tone_portamento_direction", 12,   // arrives going down, a plain note below the target, then a slide back up
     {{0, N(61, 1)}, {1, C(49, 0, 0, 0x3, 0x20)}, {2, E(0x3, 0x00), 3}, {4, N(44, 1)}, {6, E(0x3, 0x02)},
      {7, E(0x3, 0x00), 9}, {10, N(97)}}},
    {"multi_retrigger_released_fade", 12,   // without an instrument number the fade-out runs on through the restarts
     {{0, N(61, 1)}, {1, N(97)}, {2, E(0x1B, 0x01), 5}, {6, C(61, 1, 0, 0x0, 0x00)}, {7, N(97)},
      {8, C(0, 1, 0, 0x1B, 0x02), 10}},
     [](XmModule& m) {
         m.instruments[0].fadeout = 3000;
         m.instruments[0].volumeEnvelope = {{{0, 64}, {200, 64}}, 0, 0, 0, EnvelopeOn, {}};
     }},
    {"delayed_key_off_without_envelope", 10,   // silent from the delay's tick
     {{0, N(61, 1)}, {2, C(97, 0, 0, 0xE, 0xD3)}, {4, N(56, 1)}, {6, C(97, 0, 0, 0xE, 0xD1)}, {8, N(61, 1)}}},
    {"note_cut", 12,   // at its tick, EC0 on the row tick, and inside a pattern delay
     {{0, C(61, 1, 0, 0xE, 0xC2)}, {2, C(61, 1, 0, 0xE, 0xC0)}, {4, C(61, 1, 0, 0xE, 0xC8)}, {4, E(0xE, 0xE1), -1, 1},
      {6, N(61, 1)}, {8, N(97)}}},
};

// Names the case instead of dumping its bytes in test listings.
void PrintTo(const ReferenceCase& c, std::ostream* out) { *out << c.name; }

}  // namespace

class Reference : public ::testing::TestWithParam<ReferenceCase> {};

TEST_P(Reference, LoudnessAndPitchAgreeWithTheOutsideRendererTickByTick) {
    if (!haveOpenmpt())
        GTEST_SKIP() << "openmpt123 is not installed";
    const ReferenceCase& c = GetParam();
    XmModule m = sineSong();
    if (c.setUp)
        c.setUp(m);
    for (const At& at : c.cells)
        for (int row = at.row; row <= std::max(at.row, at.last); ++row)
            m.patterns[0].at(row, at.channel) = at.cell;
    const double seconds = c.rows * (m.speed * 0.02);
    char dir[] = "/tmp/xm_reference_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string path = std::string(dir) + "/" + c.name + ".xm", outside = path + ".outside.xm";
    ASSERT_TRUE(writeXmFile(path, m));
    if (c.outsideAsHeard)
        c.outsideAsHeard(m);
    ASSERT_TRUE(writeXmFile(outside, m));
    const auto [oursStereo, referenceStereo] = renderBoth(path, seconds, outside);
    if (!std::getenv("REFERENCE_KEEP"))   // set it to look at the renders
        std::system(("rm -rf " + std::string(dir)).c_str());
    // The mix (left plus right over two), then each side on its own, so
    // panning is compared too.
    std::vector<float> ours[3] = {audio::mono(oursStereo)}, reference[3] = {audio::mono(referenceStereo)};
    for (size_t k = 1; k < 3; ++k) {
        for (size_t i = k - 1; i < oursStereo.size(); i += 2) ours[k].push_back(oursStereo[i]);
        for (size_t i = k - 1; i < referenceStereo.size(); i += 2) reference[k].push_back(referenceStereo[i]);
    }
    ASSERT_GE(ours[0].size(), static_cast<size_t>(seconds * 44100) - 1);
    ASSERT_GE(reference[0].size(), static_cast<size_t>(seconds * 44100) / 2) << "reference render too short";

    // Ticks of 882 frames (125 BPM): the loudness per tick must correlate;
    // where both renders sound and show a pitch, it must agree within 2%.
    const size_t tick = 882, common = std::min(ours[0].size(), reference[0].size());
    std::vector<double> level[3], levelRef[3];
    const double floor = 0.05 * audio::peak(ours[0], 0, ours[0].size());
    const double floorRef = 0.05 * audio::peak(reference[0], 0, reference[0].size());
    size_t voiced = 0, agreeing = 0;
    for (size_t from = 0; from + tick <= common; from += tick) {
        for (size_t k = 0; k < 3; ++k) {
            level[k].push_back(audio::measureTick(ours[k], from, tick).level);
            levelRef[k].push_back(audio::measureTick(reference[k], from, tick).level);
        }
        const audio::TickMeasure a = audio::measureTick(ours[0], from, tick);
        const audio::TickMeasure b = audio::measureTick(reference[0], from, tick);
        if (a.level < floor || b.level < floorRef || a.hz <= 0.0 || b.hz <= 0.0)
            continue;
        ++voiced;
        agreeing += std::fabs(a.hz - b.hz) <= 0.02 * b.hz;
    }
    double r[3];
    for (size_t k = 0; k < 3; ++k) {
        r[k] = audio::correlation(level[k], levelRef[k]);
        EXPECT_GE(r[k], c.loudness) << c.name << " " << (k ? k == 1 ? "left" : "right" : "");
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

// The intro's tune, once through: the same music.
TEST(Tune, OurRenderAndTheReferenceAreTheSameMusic) {
    if (!haveOpenmpt())
        GTEST_SKIP() << "openmpt123 is not installed";
    char dir[] = "/tmp/tune_reference_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string path = std::string(dir) + "/tune.xm";
    ASSERT_EQ(std::system(("cp " + std::string(TUNE_PATH) + " " + path).c_str()), 0);
    const auto [oursStereo, referenceStereo] = renderBoth(path, 0);
    std::system(("rm -rf " + std::string(dir)).c_str());
    const std::vector<float> ours = audio::mono(oursStereo), reference = audio::mono(referenceStereo);
    // Both play the song once: lengths within a row (80 ms) and a block.
    std::printf("length %.2f s, reference %.2f s\n", ours.size() / 44100.0, reference.size() / 44100.0);
    EXPECT_NEAR(ours.size() / 44100.0, reference.size() / 44100.0, 0.2);
    EXPECT_GE(ours.size(), 90u * 44100);
    // Loudness over 50 ms windows follows the same course.
    std::vector<double> envelope, envelopeRef;
    for (size_t from = 0; from + 2205 <= std::min(ours.size(), reference.size()); from += 2205) {
        envelope.push_back(audio::rms(ours, from, from + 2205));
        envelopeRef.push_back(audio::rms(reference, from, from + 2205));
    }
    EXPECT_GE(audio::correlation(envelope, envelopeRef), 0.9);
}
