// Divergence finder: writes random short modules that use a chosen set of
// effects, renders each with our player and with openmpt123, and reports the
// first tick where the two part ways in pitch or loudness, with the cells of
// the row that was playing. Not a test: a way to find behaviour worth a look.
//
// usage: divergence [--effects LIST | --survey] [--modules N] [--seed S]
//                   [--rows R] [--keep DIR] [--verbose]
//        divergence --write DIR [--modules N] [--seed S] [--rows R]
//        divergence --trace FILE.xm [--rows R]
//        divergence --song FILE.xm [--seconds N] [--channels]
//   LIST  comma-separated: effect digits and letters 0..9, A..X; extended
//         commands E1..EE; vN for volume-column command N (1..4 volume set,
//         6..F slides, vibrato, panning, portamento), v for all of them;
//         "key" (key-off notes),
//         "ins" (instrument numbers without notes), "env" (instruments with
//         envelopes and fade-out), "all" (everything). Default: all.
//   --survey    every effect on its own (with key-offs, instrument numbers
//               and envelopes), one table row each.
//   --keep DIR  keeps each module that diverges there, as NNNN.xm.
//   --trace     one module file tick by tick: position, loudness and pitch
//               in both renders, and the cells of each row.
//   --song      one real song, whole (at most N seconds, default 600): how
//               closely ours and xmp follow openmpt123 (loudness envelope
//               correlation, pitch agreement), as one tab-separated line.
//               With --channels, or when ours falls below 0.97 and below
//               xmp, each channel is then rendered alone and the first tick
//               where ours parts ways is shown with that channel's cells.
//
// Each module has two channels at 125 BPM: channel 1 plays a looped sine (so
// every tick has one pitch to measure), channel 2 only carries song-wide
// effects (jumps, breaks, speed, global volume, loops, delays). Tick edges
// and rows come from our own sequencer; each tick is measured as the
// reference comparison of the tests measures it.
#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include <unistd.h>

#include "audio_analysis.h"
#include "channel.h"
#include "mixer.h"
#include "module.h"
#include "song.h"
#include "sequencer.h"
#include "xm_writer.h"

using namespace introplayer;

namespace {

constexpr int TickFrames = 882;   // 125 BPM

struct Options {
    std::set<std::string> effects;
    int modules = 50;
    unsigned seed = 1;
    int rows = 16;
    std::string keep;
    std::string write;   // only write the survey's modules there
    std::string trace;   // a module file to show tick by tick
    bool survey = false; // every effect on its own
    bool verbose = false;
    std::string song;    // a real song to compare whole
    double seconds = 600;
    bool channels = false;
};

bool wants(const Options& o, const std::string& name) {
    return o.effects.count("all") || o.effects.count(name);
}

const char* const NoteNames[12] = {"C-", "C#", "D-", "D#", "E-", "F-", "F#", "G-", "G#", "A-", "A#", "B-"};

std::string cellText(const XmCell& c) {
    char buf[32];
    std::string s;
    if (c.note == 97)
        s = "===";
    else if (c.note)
        s = std::string(NoteNames[(c.note - 1) % 12]) + char('0' + (c.note - 1) / 12);
    else
        s = "...";
    std::snprintf(buf, sizeof buf, " %s", c.instrument ? std::to_string(c.instrument).c_str() : ".");
    s += buf;
    std::snprintf(buf, sizeof buf, c.volumeColumn ? " v%02X" : " ...", c.volumeColumn);
    s += buf;
    const char effectChar = c.effect < 10 ? char('0' + c.effect) : char('A' + c.effect - 10);
    std::snprintf(buf, sizeof buf, (c.effect || c.effectParam) ? " %c%02X" : " ...", effectChar, c.effectParam);
    return s + buf;
}

// The effects a module may use, as (effect, parameter generator).
struct EffectKind {
    uint8_t effect;
    int extended;   // -1, or the E sub-command
    bool global;    // placed in channel 2
};

std::vector<EffectKind> effectKinds(const Options& o) {
    std::vector<EffectKind> kinds;
    const char* names = "0123456789ABCDEFGHIJKLMNOPQRSTUVWX";
    const std::set<int> global = {0xB, 0xD, 0xF, 0x10, 0x11};
    for (int e = 0; e <= 33; ++e) {
        if (e == 0xE)
            continue;
        const std::string name(1, names[e]);
        if (wants(o, name))
            kinds.push_back({uint8_t(e), -1, global.count(e) != 0});
    }
    for (int x = 1; x <= 0xE; ++x) {
        const std::string name = std::string("E") + names[x];
        if (wants(o, name))
            kinds.push_back({0xE, x, x == 6 || x == 0xE});
    }
    return kinds;
}

uint8_t effectParam(std::mt19937& rng, const EffectKind& k) {
    auto pick = [&](int n) { return int(rng() % unsigned(n)); };
    if (k.extended >= 0) {
        int y = pick(16);
        if (k.extended == 0xE || k.extended == 6)
            y = pick(3);
        if (k.extended == 0xD || k.extended == 0xC || k.extended == 9)
            y = pick(8);
        return uint8_t(k.extended << 4 | y);
    }
    switch (k.effect) {
    case 0xB: return 0;
    case 0xD: return uint8_t(pick(3) == 0 ? 0 : pick(10));
    case 0xF: return uint8_t(2 + pick(6));   // speeds only: tick edges stay at 125 BPM
    case 0x10: return uint8_t(pick(70));
    case 0x9: return uint8_t(pick(4) == 0 ? 0 : pick(8));
    case 0x14: return uint8_t(pick(8));   // K: release tick
    case 0x15: return uint8_t(pick(40));  // L: envelope position
    default: break;
    }
    if (pick(4) == 0)
        return 0;   // memory
    const int x = pick(3) == 0 ? 0 : pick(16);
    const int y = pick(3) == 0 ? 0 : pick(16);
    return uint8_t(x << 4 | y);
}

uint8_t volumeColumn(std::mt19937& rng, const Options& o) {
    std::vector<int> kinds;
    for (int h = 1; h <= 15; ++h) {
        char name[4];
        std::snprintf(name, sizeof name, "v%X", h);
        if ((wants(o, name) || wants(o, "v")) && h != 5)
            kinds.push_back(h);
    }
    if (kinds.empty())
        return 0;
    const int h = kinds[rng() % kinds.size()];
    if (h <= 4)
        return uint8_t(0x10 + rng() % 65);
    return uint8_t(h << 4 | (rng() % 16));
}

XmModule randomModule(std::mt19937& rng, const Options& o, const std::vector<EffectKind>& kinds) {
    auto pick = [&](int n) { return int(rng() % unsigned(n)); };
    XmModule m;
    m.channels = 2;
    m.speed = uint16_t(3 + pick(4));
    m.tempo = 125;
    m.orders = {0};
    XmPattern& p = m.addPattern(uint16_t(o.rows));
    // Instrument 1: a plain looped sine. Instrument 2: an octave higher,
    // quieter, panned, finetuned; with "env" it has a sustained volume
    // envelope, a panning envelope and a fade-out.
    XmSample a = xmSample8(audio::sineCycle(32, 100));
    a.loop(0, 32, 1);
    m.addInstrument(a).fadeout = uint16_t(wants(o, "env") ? 1500 : 0);
    XmSample b = a;
    b.volume = 40;
    b.panning = 60;
    b.relativeNote = 7;
    b.finetune = int8_t(pick(2) ? 40 : -24);
    XmInstrument& second = m.addInstrument(b);
    if (wants(o, "env")) {
        second.volumeEnvelope.points = {{0, 64}, {4, 30}, {10, 50}, {30, 10}};
        second.volumeEnvelope.sustain = 2;
        second.volumeEnvelope.flags = 1 | 2;
        second.panningEnvelope.points = {{0, 32}, {20, 0}, {40, 64}};
        second.panningEnvelope.flags = 1;
        second.fadeout = 2000;
    }
    p.at(0, 0) = xmNote(uint8_t(49 + pick(13)), 1);
    for (int r = 0; r < o.rows; ++r) {
        XmCell& c = p.at(uint32_t(r), 0);
        if (r > 0) {
            const int roll = pick(10);
            if (roll < 3) {
                c.note = uint8_t(49 + pick(20));
                c.instrument = uint8_t(pick(3) ? 1 + pick(2) : 0);
            } else if (roll == 3 && wants(o, "key")) {
                c.note = 97;
                c.instrument = uint8_t(pick(3) == 0 ? 1 + pick(2) : 0);
            } else if (roll == 4 && wants(o, "ins")) {
                c.instrument = uint8_t(1 + pick(2));
            }
        }
        if (pick(3) == 0)
            c.volumeColumn = volumeColumn(rng, o);
        std::vector<const EffectKind*> local;
        for (const EffectKind& k : kinds)
            if (!k.global)
                local.push_back(&k);
        if (!local.empty() && pick(3) != 0) {
            const EffectKind& k = *local[rng() % local.size()];
            c.effect = k.effect;
            c.effectParam = effectParam(rng, k);
        }
    }
    std::vector<const EffectKind*> global;
    for (const EffectKind& k : kinds)
        if (k.global)
            global.push_back(&k);
    for (int r = 1; r < o.rows && !global.empty(); ++r) {
        if (pick(5) != 0)
            continue;
        const EffectKind& k = *global[rng() % global.size()];
        p.at(uint32_t(r), 1) = xmEffect(k.effect, effectParam(rng, k));
    }
    return m;
}

struct TickInfo {
    int32_t start;   // first frame
    int32_t frames;
    int32_t orderPos, row, tick;
    double sampleRate;   // the measured channel's voice, in sample frames per second
};

// Tick edges and positions from our sequencer, without mixing, up to where
// the song comes back to a row it has played (pattern loops aside): the
// other renderer may end or restart its song there.
std::vector<TickInfo> tickMap(const std::vector<uint8_t>& bytes, int32_t totalFrames, int32_t channel = 0) {
    std::vector<TickInfo> ticks;
    if (!renderOpen(bytes.data(), uint32_t(bytes.size()), PlayerSourceMemory))
        return ticks;
    renderFrames(nullptr, uint32_t(totalFrames));
    const uint32_t cameBack = renderCameBack();
    renderClose();
    if (!loadXmBytes(bytes))
        return ticks;
    startSongPlayback();
    static bool rowTick;
    rowStarted = [](int32_t, int32_t) { rowTick = true; };
    int32_t frame = 0, tick = 0;
    while (frame < totalFrames && (cameBack == 0 || uint32_t(frame) < cameBack)) {
        rowTick = false;
        sequencerTick();
        tick = rowTick ? 0 : tick + 1;
        const Voice* v = channels[channel].voice;
        const double rate = v ? (v->stepInt + v->stepFrac / 4294967296.0) * OutputRate : 0.0;
        TickInfo t{frame, song.tickFrames, song.orderPos, song.row, tick, rate};
        ticks.push_back(t);
        frame += t.frames;
    }
    rowStarted = nullptr;
    return ticks;
}

std::vector<float> renderOurs(const std::vector<uint8_t>& bytes, int32_t totalFrames) {
    if (!renderOpen(bytes.data(), uint32_t(bytes.size()), PlayerSourceMemory))
        return {};
    setMasterVolume(64);
    std::vector<int16_t> stereo(2 * size_t(totalFrames));
    renderFrames(stereo.data(), uint32_t(totalFrames));
    renderClose();
    return audio::mono(stereo);
}

std::vector<float> renderReference(const std::string& path, double seconds) {
    char cmd[1024];
    std::snprintf(cmd, sizeof cmd,
                  "openmpt123 --quiet --force --render --samplerate 44100 --channels 2 --no-float "
                  "--filter 2 --end-time %g --output-type wav '%s' >/dev/null 2>&1",
                  seconds, path.c_str());
    if (std::system(cmd) != 0)
        return {};
    return audio::mono(audio::readWav(path + ".wav"));
}

using Measure = audio::TickMeasure;

Measure measure(const std::vector<float>& x, const TickInfo& t) {
    return audio::measureTick(x, size_t(t.start), size_t(t.frames));
}

struct Finding {
    bool found = false;
    size_t tickIndex = 0;
    std::string what;
};

// The first tick where pitch or loudness part ways (loudness for persist
// ticks in a row, pitch only where a sine plays: zero crossings of real
// instruments' waveforms tell little). Loudness is
// compared in units of the channel volume (64 = a full-volume note), so a
// difference of a few units is a real one whatever the level.
Finding firstDivergence(const std::vector<float>& ours, const std::vector<float>& ref,
                        const std::vector<TickInfo>& ticks, double fullOurs, double fullRef, int persist = 1,
                        bool sine = true) {
    Finding f;
    double previous = 0.0;   // our level on the tick before
    int run = 0;
    for (size_t i = 0; i < ticks.size(); ++i) {
        const TickInfo& t = ticks[i];
        if (size_t(t.start + t.frames) > std::min(ours.size(), ref.size()))
            break;
        // At our lowest pitch (100 Hz) the other renderer goes on down
        // towards a standstill: a difference below any note, not counted.
        if (t.sampleRate < 101.0)
            continue;
        const Measure a = measure(ours, t), b = measure(ref, t);
        const double va = 64.0 * a.level / fullOurs, vb = 64.0 * b.level / fullRef;
        // The reference is still on its way from the last level at the end
        // of a tick, by about a sixth of a large step.
        const double lag = 0.2 * std::fabs(va - previous);
        previous = va;
        char buf[160] = "";
        if (std::fabs(va - vb) > 3.0 + 0.08 * std::max(va, vb) + lag)
            std::snprintf(buf, sizeof buf, "loudness %.1f vs %.1f (of 64)", va, vb);
        // Pitches above 10 kHz are beyond what zero crossings of a 32-frame
        // cycle measure reliably.
        else if (sine && va > 3.0 && vb > 3.0 && a.hz > 0 && b.hz > 0 && b.hz < 10000 &&
                 std::fabs(a.hz - b.hz) > 0.015 * b.hz)
            std::snprintf(buf, sizeof buf, "pitch %.1f Hz vs %.1f Hz", a.hz, b.hz);
        if (!buf[0]) {
            run = 0;
            continue;
        }
        if (run++ == 0)
            f = {true, i, buf};
        if (run >= persist)
            return f;
    }
    return Finding{};
}

// The level of a full-volume centred note in each renderer.
std::pair<double, double> calibrate(const std::string& dir) {
    XmModule m;
    m.channels = 2;
    m.orders = {0};
    m.addPattern(8).at(0, 0) = xmNote(61, 1);
    XmSample s = xmSample8(audio::sineCycle(32, 100));
    s.loop(0, 32, 1);
    m.addInstrument(s);
    const std::vector<uint8_t> bytes = writeXm(m);
    const std::string path = dir + "/calibrate.xm";
    writeBytesFile(path, bytes);
    const std::vector<float> ours = renderOurs(bytes, 40 * TickFrames);
    const std::vector<float> ref = renderReference(path, 40.0 * TickFrames / 44100);
    return {audio::rms(ours, 5 * TickFrames, 35 * TickFrames),
            audio::rms(ref, 5 * TickFrames, 35 * TickFrames)};
}

bool parse(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--effects" && hasValue) {
            std::string list = argv[++i];
            size_t pos = 0;
            while (pos <= list.size()) {
                const size_t comma = std::min(list.find(',', pos), list.size());
                std::string name = list.substr(pos, comma - pos);
                // Effect names in capitals (a vN keeps its small v); the
                // words in small letters.
                const bool word = name == "key" || name == "ins" || name == "env" || name == "all";
                for (size_t k = (name.size() > 1 && name[0] == 'v') ? 1 : 0; k < name.size() && !word; ++k)
                    name[k] = char(std::toupper(static_cast<unsigned char>(name[k])));
                if (!name.empty())
                    o.effects.insert(name);
                pos = comma + 1;
            }
        } else if (a == "--modules" && hasValue) {
            o.modules = std::atoi(argv[++i]);
        } else if (a == "--seed" && hasValue) {
            o.seed = unsigned(std::strtoul(argv[++i], nullptr, 10));
        } else if (a == "--rows" && hasValue) {
            o.rows = std::clamp(std::atoi(argv[++i]), 2, 256);
        } else if (a == "--keep" && hasValue) {
            o.keep = argv[++i];
        } else if (a == "--write" && hasValue) {
            o.write = argv[++i];
        } else if (a == "--trace" && hasValue) {
            o.trace = argv[++i];
        } else if (a == "--song" && hasValue) {
            o.song = argv[++i];
        } else if (a == "--seconds" && hasValue) {
            o.seconds = std::clamp(std::atof(argv[++i]), 1.0, 3600.0);
        } else if (a == "--channels") {
            o.channels = true;
        } else if (a == "--survey") {
            o.survey = true;
        } else if (a == "--verbose") {
            o.verbose = true;
        } else {
            return false;
        }
    }
    if (o.effects.empty())
        o.effects.insert("all");
    return o.modules > 0;
}

std::vector<uint8_t> readBytesFile(const std::string& path) {
    std::vector<uint8_t> bytes;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return bytes;
    for (int c; (c = std::fgetc(file)) != EOF;)
        bytes.push_back(uint8_t(c));
    std::fclose(file);
    return bytes;
}

// One module file, tick by tick: position, loudness (of 64) and pitch in both.
int traceModule(const std::string& path, double fullOurs, double fullRef, int32_t frames) {
    const std::vector<uint8_t> bytes = readBytesFile(path);
    if (bytes.empty()) {
        std::fprintf(stderr, "divergence: cannot open %s\n", path.c_str());
        return 1;
    }
    const std::vector<TickInfo> ticks = tickMap(bytes, frames);
    // The cells of each row tick, read back from the loaded song.
    std::vector<std::string> cells(ticks.size());
    for (size_t i = 0; i < ticks.size(); ++i) {
        const TickInfo& t = ticks[i];
        const uint32_t pattern = song.orderTable[t.orderPos];
        if (t.tick != 0 || pattern >= song.patternSlotCount)
            continue;
        const PatternSlot& slot = song.patternTable[pattern];
        for (int32_t c = 0; c < song.channelCount && slot.cells && t.row < slot.rowCount; ++c) {
            const NoteCell& n = slot.cells[t.row * song.channelCount + c];
            cells[i] += "  " + cellText(XmCell{n.note, n.instrument, n.volumeColumn, n.effect, n.effectParam});
        }
    }
    const std::vector<float> ours = renderOurs(bytes, frames);
    char tmpl[] = "/tmp/divergence_trace_XXXXXX";
    const std::string dir = mkdtemp(tmpl) ? tmpl : "/tmp";
    std::system(("cp '" + path + "' '" + dir + "/m.xm'").c_str());
    const std::vector<float> ref = renderReference(dir + "/m.xm", double(frames) / 44100);
    std::system(("rm -rf '" + dir + "'").c_str());
    std::printf("tick  ord row  t   ours  ref    ours Hz   ref Hz\n");
    for (size_t i = 0; i < ticks.size(); ++i) {
        const TickInfo& t = ticks[i];
        const Measure a = measure(ours, t), b = measure(ref, t);
        std::printf("%4zu  %3d %3d %2d  %5.1f %5.1f  %8.1f %8.1f%s\n", i, t.orderPos, t.row, t.tick,
                    64.0 * a.level / fullOurs, 64.0 * b.level / fullRef, a.hz, b.hz, cells[i].c_str());
    }
    return 0;
}

// What set a divergence off, as far as the row that was playing tells: its
// effect, else its volume-column command, else its note or instrument.
std::string causeOf(const XmCell& cell) {
    const char* digits = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    if (cell.effect == 0xE)
        return std::string("E") + digits[cell.effectParam >> 4];
    if (cell.effect || cell.effectParam)
        return std::string(1, digits[cell.effect]);
    if (cell.volumeColumn)
        return std::string("v") + digits[cell.volumeColumn >> 4];
    return cell.note == 97 ? "key" : cell.note ? "note" : cell.instrument ? "ins" : "(none)";
}

struct Calibration {
    std::string dir;
    double fullOurs, fullRef;
};

// Renders o.modules random modules; prints each divergence unless quiet.
// Returns how many diverge, and counts them by cause.
int runModules(const Options& o, const Calibration& cal, bool quiet, std::map<std::string, int>& byCause) {
    const std::vector<EffectKind> kinds = effectKinds(o);
    int diverged = 0;
    for (int n = 0; n < o.modules; ++n) {
        std::mt19937 rng(o.seed * 100003u + unsigned(n));
        XmModule m = randomModule(rng, o, kinds);
        const std::vector<uint8_t> bytes = writeXm(m);
        char name[32];
        std::snprintf(name, sizeof name, "%04d.xm", n);
        const std::string path = cal.dir + "/" + name;
        writeBytesFile(path, bytes);
        const int32_t frames = (o.rows * m.speed + 4) * TickFrames;
        const std::vector<TickInfo> ticks = tickMap(bytes, frames);
        const std::vector<float> ours = renderOurs(bytes, frames);
        const std::vector<float> ref = renderReference(path, double(frames) / 44100);
        const Finding f = firstDivergence(ours, ref, ticks, cal.fullOurs, cal.fullRef);
        if (!f.found) {
            if (o.verbose)
                std::printf("%s: agrees\n", name);
            continue;
        }
        ++diverged;
        const TickInfo& t = ticks[f.tickIndex];
        XmPattern& p = m.patterns[0];
        byCause[causeOf(p.at(uint32_t(t.row), 0))] += 1;
        if (!o.keep.empty())
            writeBytesFile(o.keep + "/" + name, bytes);
        if (quiet)
            continue;
        std::printf("%s: tick %zu (row %d, tick %d): %s\n", name, f.tickIndex, t.row, t.tick, f.what.c_str());
        for (int r = std::max(0, t.row - 2); r <= t.row; ++r)
            std::printf("    row %2d  %s | %s\n", r, cellText(p.at(uint32_t(r), 0)).c_str(),
                        cellText(p.at(uint32_t(r), 1)).c_str());
    }
    return diverged;
}

const char* const surveyEffects[] = {"0",  "1",  "2",  "3",  "4",  "5",  "6",  "7",  "8",  "9",
                                     "A",  "B",  "C",  "D",  "F",  "G",  "H",  "K",  "L",  "P",
                                     "R",  "T",  "X",  "E1", "E2", "E4", "E5", "E6", "E7", "E8",
                                     "E9", "EA", "EB", "EC", "ED", "EE", "v"};

// The survey's modules as files, E_NNNN.xm, for renderers to compare.
int writeSurveyModules(Options o) {
    for (const char* e : surveyEffects) {
        o.effects = {e, "key", "ins", "env"};
        const std::vector<EffectKind> kinds = effectKinds(o);
        for (int n = 0; n < o.modules; ++n) {
            std::mt19937 rng(o.seed * 100003u + unsigned(n));
            char name[32];
            std::snprintf(name, sizeof name, "/%s_%04d.xm", e, n);
            writeBytesFile(o.write + name, writeXm(randomModule(rng, o, kinds)));
        }
    }
    return 0;
}

// Every effect on its own, with key-offs, instrument numbers and envelopes
// around it: one line each.
void survey(Options o, const Calibration& cal) {
    std::printf("| effect | modules that diverge | first divergence at |\n|---|---|---|\n");
    for (const char* e : surveyEffects) {
        o.effects = {e, "key", "ins", "env"};
        std::map<std::string, int> byCause;
        const int diverged = runModules(o, cal, true, byCause);
        std::string causes;
        for (const auto& [cause, count] : byCause)
            causes += (causes.empty() ? "" : ", ") + cause + " " + std::to_string(count);
        std::printf("| %s | %d of %d | %s |\n", e, diverged, o.modules, causes.c_str());
        std::fflush(stdout);
    }
}

// ---- Real songs, whole ----

// Ours, one pass through the song: up to where it comes back to a row it
// played (which is where the other renderers stop too), or the cap.
std::vector<float> renderOursWhole(const std::vector<uint8_t>& bytes, uint32_t maxFrames) {
    if (!renderOpen(bytes.data(), uint32_t(bytes.size()), PlayerSourceMemory))
        return {};
    setMasterVolume(64);
    std::vector<int16_t> stereo, block(2 * 44100);
    uint32_t done = 0;
    while (done < maxFrames) {
        const uint32_t got = renderFrames(block.data(), std::min<uint32_t>(44100, maxFrames - done));
        if (got == 0)
            break;
        stereo.insert(stereo.end(), block.begin(), block.begin() + 2 * ptrdiff_t(got));
        done += got;
        const uint32_t back = renderCameBack();
        if (back != 0) {
            stereo.resize(2 * size_t(std::min(back, done)));
            break;
        }
    }
    renderClose();
    return audio::mono(stereo);
}

std::vector<float> renderXmp(const std::string& path, const std::string& out, double seconds) {
    char cmd[1200];
    std::snprintf(cmd, sizeof cmd, "xmp -q -i linear -f 44100 -t %d -o '%s' '%s' >/dev/null 2>&1",
                  int(std::ceil(seconds)), out.c_str(), path.c_str());
    if (std::system(cmd) != 0)
        return {};
    return audio::mono(audio::readWav(out));
}

constexpr size_t EnvelopeFrames = 882;   // 20 ms
constexpr size_t PitchFrames = 8192;

std::vector<double> loudnessEnvelope(const std::vector<float>& x, size_t frames) {
    std::vector<double> e;
    for (size_t i = 0; i + EnvelopeFrames <= frames; i += EnvelopeFrames)
        e.push_back(audio::rms(x, i, i + EnvelopeFrames));
    return e;
}

// The strongest partial between 40 Hz and 5 kHz of a Hann-windowed stretch,
// in Hz, refined between bins.
double strongestPartial(const std::vector<float>& x, size_t from) {
    std::vector<std::complex<double>> a(PitchFrames);
    for (size_t i = 0; i < PitchFrames; ++i)
        a[i] = x[from + i] * (0.5 - 0.5 * std::cos(2 * M_PI * double(i) / PitchFrames));
    for (size_t i = 1, j = 0; i < PitchFrames; ++i) {   // radix-2 FFT, in place
        size_t bit = PitchFrames >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j)
            std::swap(a[i], a[j]);
    }
    for (size_t len = 2; len <= PitchFrames; len <<= 1) {
        const std::complex<double> w = std::polar(1.0, -2 * M_PI / double(len));
        for (size_t i = 0; i < PitchFrames; i += len) {
            std::complex<double> wk = 1.0;
            for (size_t k = 0; k < len / 2; ++k, wk *= w) {
                const std::complex<double> u = a[i + k], v = a[i + k + len / 2] * wk;
                a[i + k] = u + v;
                a[i + k + len / 2] = u - v;
            }
        }
    }
    const double binHz = 44100.0 / PitchFrames;
    size_t best = size_t(40 / binHz);
    for (size_t k = best; k < size_t(5000 / binHz); ++k)
        if (std::abs(a[k]) > std::abs(a[best]))
            best = k;
    const double l = std::abs(a[best - 1]), c = std::abs(a[best]), r = std::abs(a[best + 1]);
    const double d = l - 2 * c + r;
    return (double(best) + (d != 0 ? 0.5 * (l - r) / d : 0.0)) * binHz;
}

// Stretches loud in both whose strongest partials lie within a quarter
// tone (or a bin) of each other: how many agree, how many count, and where
// the first two in a row that disagree start (or -1).
struct PitchAgreement {
    int agree = 0, loud = 0;
    long firstApart = -1;
    double share() const { return loud ? double(agree) / loud : 1.0; }
};

PitchAgreement pitchAgreement(const std::vector<float>& a, const std::vector<float>& b, size_t frames) {
    const double floorA = 0.1 * audio::rms(a, 0, frames), floorB = 0.1 * audio::rms(b, 0, frames);
    PitchAgreement p;
    long apart = -1;
    for (size_t i = 0; i + PitchFrames <= frames; i += PitchFrames) {
        if (audio::rms(a, i, i + PitchFrames) < floorA || audio::rms(b, i, i + PitchFrames) < floorB)
            continue;
        const double fa = strongestPartial(a, i), fb = strongestPartial(b, i);
        ++p.loud;
        if (std::fabs(fa - fb) <= std::max(0.0293 * fb, 44100.0 / PitchFrames)) {
            ++p.agree;
            apart = -1;
        } else if (apart < 0) {
            apart = long(i);
        } else if (p.firstApart < 0) {
            p.firstApart = apart;
        }
    }
    return p;
}

uint32_t u16At(const std::vector<uint8_t>& b, size_t p) { return b[p] | b[p + 1] << 8; }
uint32_t u32At(const std::vector<uint8_t>& b, size_t p) { return u16At(b, p) | u16At(b, p + 2) << 16; }

// A copy of the module with every channel but one blanked. The song-wide
// commands (B, D, F, G, H, E6x, EEx) stay where they stand, so the song keeps
// its course and its tempo. Empty when the file is not laid out as expected.
std::vector<uint8_t> isolateChannel(const std::vector<uint8_t>& in, int32_t keep) {
    if (in.size() < 80)
        return {};
    const uint32_t channelCount = u16At(in, 68), patterns = u16At(in, 70);
    size_t pos = 60 + size_t(u32At(in, 60));
    if (channelCount == 0 || channelCount > 64 || pos > in.size())
        return {};
    std::vector<uint8_t> out(in.begin(), in.begin() + ptrdiff_t(pos));
    for (uint32_t p = 0; p < patterns; ++p) {
        if (pos + 9 > in.size())
            return {};
        const size_t headerBytes = u32At(in, pos), rows = u16At(in, pos + 5), packed = u16At(in, pos + 7);
        const size_t data = pos + headerBytes;
        if (headerBytes < 9 || data + packed > in.size())
            return {};
        std::vector<uint8_t> cells(rows * channelCount * 5);
        for (size_t i = data, cell = 0; i < data + packed && cell < rows * channelCount; ++cell) {
            uint8_t mask = 0x1F;
            if (in[i] & 0x80)
                mask = in[i++];
            for (int f = 0; f < 5; ++f)
                if (mask & (1 << f))
                    cells[cell * 5 + size_t(f)] = i < data + packed ? in[i++] : 0;
        }
        std::vector<uint8_t> repacked;
        for (size_t cell = 0; cell < rows * channelCount; ++cell) {
            uint8_t* c = &cells[cell * 5];
            if (int32_t(cell % channelCount) != keep) {
                const bool songWide = c[3] == 0xB || c[3] == 0xD || c[3] == 0xF || c[3] == 0x10 || c[3] == 0x11 ||
                                      (c[3] == 0xE && ((c[4] >> 4) == 6 || (c[4] >> 4) == 0xE));
                c[0] = c[1] = c[2] = 0;
                if (!songWide)
                    c[3] = c[4] = 0;
            }
            uint8_t mask = 0x80;
            for (int f = 0; f < 5; ++f)
                mask |= uint8_t(c[f] ? 1 << f : 0);
            repacked.push_back(mask);
            for (int f = 0; f < 5; ++f)
                if (c[f])
                    repacked.push_back(c[f]);
        }
        if (repacked.size() > 0xFFFF)
            return {};
        out.insert(out.end(), in.begin() + ptrdiff_t(pos), in.begin() + ptrdiff_t(data));
        out[out.size() - headerBytes + 7] = uint8_t(repacked.size());
        out[out.size() - headerBytes + 8] = uint8_t(repacked.size() >> 8);
        out.insert(out.end(), repacked.begin(), repacked.end());
        pos = data + packed;
    }
    out.insert(out.end(), in.begin() + ptrdiff_t(pos), in.end());
    return out;
}

// Where a channel parts ways, with its cells of the rows up to there.
void showTick(const std::vector<TickInfo>& ticks, size_t index, int32_t c, const std::string& what) {
    const TickInfo& t = ticks[index];
    std::printf("    parts ways at %.2f s (order %d, row %d, tick %d): %s\n", t.start / 44100.0, t.orderPos, t.row,
                t.tick, what.c_str());
    const uint32_t pattern = song.orderTable[t.orderPos];
    if (pattern >= song.patternSlotCount || !song.patternTable[pattern].cells)
        return;
    const PatternSlot& slot = song.patternTable[pattern];
    for (int32_t row = std::max(0, t.row - 3); row <= t.row && row < slot.rowCount; ++row) {
        const NoteCell& n = slot.cells[row * song.channelCount + c];
        std::printf("      row %3d  %s\n", row,
                    cellText(XmCell{n.note, n.instrument, n.volumeColumn, n.effect, n.effectParam}).c_str());
    }
}

// One channel alone in both renderers: its loudness correlation and the
// first ticks where ours parts ways in loudness and in pitch, with the
// channel's cells before them.
void reportChannel(const Calibration& cal, const std::vector<uint8_t>& bytes, int32_t c, int32_t frames) {
    const std::vector<uint8_t> alone = isolateChannel(bytes, c);
    if (alone.empty()) {
        std::printf("  channel %d: the patterns cannot be rewritten\n", c + 1);
        return;
    }
    const std::string path = cal.dir + "/alone.xm";
    writeBytesFile(path, alone);
    const std::vector<TickInfo> ticks = tickMap(alone, frames, c);
    const std::vector<float> ours = renderOurs(alone, frames);
    const std::vector<float> ref = renderReference(path, double(frames) / 44100);
    const size_t common = std::min(ours.size(), ref.size());
    if (audio::peak(ours, 0, common) < 1e-4 && audio::peak(ref, 0, common) < 1e-4) {
        std::printf("  channel %2d: silent in both\n", c + 1);
        return;
    }
    const double r = audio::correlation(loudnessEnvelope(ours, common), loudnessEnvelope(ref, common));
    const PitchAgreement pitch = pitchAgreement(ours, ref, common);
    std::printf("  channel %2d: loudness %.3f, pitch %.3f\n", c + 1, r, pitch.share());
    const Finding f = firstDivergence(ours, ref, ticks, cal.fullOurs, cal.fullRef, 3, false);
    if (f.found)
        showTick(ticks, f.tickIndex, c, f.what);
    if (pitch.firstApart >= 0) {
        size_t i = 0;
        while (i + 1 < ticks.size() && ticks[i + 1].start <= pitch.firstApart + long(PitchFrames / 2))
            ++i;
        showTick(ticks, i, c, "strongest partials apart");
    }
}

// Prints: name, seconds of ours and of openmpt123, loudness correlation of
// ours and of xmp with openmpt123, pitch agreement of both, and "ok" when
// ours is at 0.97 or at xmp's correlation, else "differs".
int compareSong(const Options& o, const Calibration& cal) {
    const std::vector<uint8_t> bytes = readBytesFile(o.song);
    const std::vector<float> ours = renderOursWhole(bytes, uint32_t(o.seconds * 44100));
    if (ours.empty()) {
        std::fprintf(stderr, "divergence: %s: %s\n", o.song.c_str(), getLoadError());
        return 1;
    }
    const std::string path = cal.dir + "/song.xm";
    writeBytesFile(path, bytes);
    const std::vector<float> ref = renderReference(path, o.seconds);
    const std::vector<float> other = renderXmp(path, cal.dir + "/xmp.wav", o.seconds);
    if (ref.empty()) {
        std::fprintf(stderr, "divergence: %s: openmpt123 cannot render it\n", o.song.c_str());
        return 1;
    }
    const size_t common = std::min(ours.size(), ref.size());
    const size_t commonXmp = std::min(other.size(), ref.size());
    const std::vector<double> refEnvelope = loudnessEnvelope(ref, ref.size());
    const double r = audio::correlation(loudnessEnvelope(ours, common), refEnvelope);
    const double rXmp = audio::correlation(loudnessEnvelope(other, commonXmp), refEnvelope);
    const double p = pitchAgreement(ours, ref, common).share(), pXmp = pitchAgreement(other, ref, commonXmp).share();
    const bool ok = r >= 0.97 || r >= rXmp;
    const size_t slash = o.song.find_last_of('/');
    std::printf("%s\t%.1f\t%.1f\t%.3f\t%.3f\t%.3f\t%.3f\t%s\n",
                o.song.substr(slash == std::string::npos ? 0 : slash + 1).c_str(), ours.size() / 44100.0,
                ref.size() / 44100.0, r, rXmp, p, pXmp, ok ? "ok" : "differs");
    std::fflush(stdout);
    if (ok && !o.channels)
        return 0;
    renderOpen(bytes.data(), uint32_t(bytes.size()), PlayerSourceMemory);
    PlayerSongInfo info{};
    getSongInfo(&info);
    renderClose();
    for (int32_t c = 0; c < int32_t(info.channels) && c < 32; ++c)
        reportChannel(cal, bytes, c, int32_t(common));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (!parse(argc, argv, o)) {
        std::fprintf(stderr, "usage: divergence [--effects LIST | --survey] [--modules N] [--seed S] "
                             "[--rows R] [--keep DIR] [--verbose] | --trace FILE.xm | --song FILE.xm "
                             "[--seconds N] [--channels]\n");
        return 2;
    }
    if (!o.write.empty())
        return writeSurveyModules(o);
    if (std::system("openmpt123 --version >/dev/null 2>&1") != 0) {
        std::fprintf(stderr, "divergence: openmpt123 is not installed\n");
        return 2;
    }
    char tmpl[] = "/tmp/divergence_XXXXXX";
    Calibration cal{mkdtemp(tmpl) ? tmpl : "/tmp", 0, 0};
    std::tie(cal.fullOurs, cal.fullRef) = calibrate(cal.dir);
    int status = 0;
    if (cal.fullOurs <= 0 || cal.fullRef <= 0) {
        std::fprintf(stderr, "divergence: calibration render failed\n");
        status = 1;
    } else if (!o.trace.empty()) {
        status = traceModule(o.trace, cal.fullOurs, cal.fullRef, o.rows * 6 * TickFrames);
    } else if (!o.song.empty()) {
        status = compareSong(o, cal);
    } else if (o.survey) {
        survey(o, cal);
    } else {
        std::map<std::string, int> byCause;
        const int diverged = runModules(o, cal, false, byCause);
        std::printf("\n%d of %d modules diverge. First divergence by the playing row's command:\n", diverged,
                    o.modules);
        for (const auto& [cause, count] : byCause)
            std::printf("  %-6s %d\n", cause.c_str(), count);
    }
    const std::string cleanup = "rm -rf '" + cal.dir + "'";
    return std::system(cleanup.c_str()) == 0 ? status : 1;
}
