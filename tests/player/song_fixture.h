// A song built directly in the player's records, for tests that step the
// sequencer tick by tick and look at channels and voices.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <utility>
#include <vector>

#include "channel.h"
#include "mixer.h"
#include "module.h"
#include "song.h"
#include "sequencer.h"

using namespace introplayer;

namespace songfixture {

constexpr int MaxPatterns = 4;
constexpr int MaxChannels = 4;
constexpr int MaxRows = 64;
constexpr int SampleFrames = 1000;

struct Storage {
    NoteCell cells[MaxPatterns][MaxRows * MaxChannels];
    PatternSlot slots[MaxPatterns];
    InstrumentRecord instruments[2];
    SampleRecord samples[2];
    int16_t data[2][SampleFrames + 4];
};

inline Storage storage;
inline std::vector<std::pair<int32_t, int32_t>> rowsSeen;

inline void recordRow(int32_t orderPos, int32_t row) { rowsSeen.emplace_back(orderPos, row); }

// Two orders (patterns 0 and 1) of four channels, speed 4 at 125 BPM, linear
// frequencies; two instruments, each a looped 1000-frame square at volume 48.
class SongTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::memset(&storage, 0, sizeof storage);
        std::memset(&song, 0, sizeof song);
        rowsSeen.clear();
        rowStarted = recordRow;
        for (int p = 0; p < MaxPatterns; ++p)
            storage.slots[p] = PatternSlot{MaxRows, 1, storage.cells[p]};
        for (int i = 0; i < 2; ++i) {
            SampleRecord& s = storage.samples[i];
            s.length = s.loopLength = SampleFrames;
            s.volume = 48;
            s.panning = 128;
            s.data = storage.data[i] + 1;
            for (int k = 0; k < SampleFrames; ++k)
                s.data[k] = static_cast<int16_t>((k % 100) < 50 ? 8000 : -8000);
            storage.instruments[i].sampleCount = 1;
            storage.instruments[i].samples[0] = &s;
            storage.instruments[i].fadeout = 4096;
        }
        song.patternTable = storage.slots;
        song.patternSlotCount = MaxPatterns;
        song.instrumentTable = storage.instruments;
        song.instrumentCount = 2;
        song.channelCount = song.rawChannelCount = MaxChannels;
        song.songLength = 2;
        song.orderTable[1] = 1;
        song.flags = 1;
        song.defaultSpeed = 4;
        song.defaultTempo = 125;
    }
    void TearDown() override { rowStarted = nullptr; }

    static void put(int pattern, int row, int channel, uint8_t note, uint8_t instrument,
                    uint8_t volume = 0, uint8_t effect = 0, uint8_t param = 0) {
        storage.cells[pattern][row * MaxChannels + channel] = NoteCell{note, instrument, volume, effect, param};
    }
    static void fx(int pattern, int row, int channel, uint8_t effect, uint8_t param) {
        put(pattern, row, channel, 0, 0, 0, effect, param);
    }
    static void start() { startSongPlayback(); }
    static void ticks(int n) {
        for (int i = 0; i < n; ++i)
            sequencerTick();
    }
    // Ticks until the next row begins; returns the ticks taken.
    static int finishRow() {
        int n = 0;
        do {
            sequencerTick();
        } while (++n < 10000 && song.tick != 0);
        return n;
    }
    static ChannelState& ch(int i) { return channels[i]; }
};

}  // namespace songfixture
