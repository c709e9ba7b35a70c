// The embedded tune has the shape the intro's tune must have, and loads in
// the player: header facts, one 8-bit sample per instrument, the sustaining
// sounds looped, envelopes, fade-outs and auto-vibrato, and the tracker
// effects a musician would use.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <utility>
#include <vector>

#include "module.h"
#include "sources.h"

namespace {

constexpr size_t TuneSize = 348898;

class TuneShape : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        std::ifstream in(TUNE_MODULE_PATH, std::ios::binary);
        bytes = std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        createPlayerHeap();
        loaded = loadModuleFromSource(SourceFile, TUNE_MODULE_PATH, 0) != 0;
    }
    static void TearDownTestSuite() { destroyPlayerHeap(); }
    void SetUp() override { ASSERT_TRUE(loaded) << moduleLoadError; }

    static std::vector<uint8_t> bytes;
    static bool loaded;
};

std::vector<uint8_t> TuneShape::bytes;
bool TuneShape::loaded;

TEST_F(TuneShape, HeaderHasTheEmbeddedTunesShape) {
    EXPECT_EQ(bytes.size(), TuneSize);
    EXPECT_EQ(std::memcmp(bytes.data(), "Extended Module: ", 17), 0);
    EXPECT_NE(songTitle[0], 0) << "the title is empty";
    const struct {
        const char* field;
        uint32_t value, expected;
    } fields[] = {
        {"channels", uint32_t(song.channelCount), 16},  {"pattern slots", song.patternSlotCount, 7},
        {"instruments", song.instrumentCount, 11},      {"linear frequency table", song.flags & 1u, 1},
        {"default speed", song.defaultSpeed, 4},        {"default tempo", song.defaultTempo, 125},
    };
    for (const auto& f : fields) EXPECT_EQ(f.value, f.expected) << f.field;
    EXPECT_LT(song.restartPosition, song.songLength);
}

TEST_F(TuneShape, InstrumentsHaveOneEightBitSampleAndTheSoundDesignTheyNeed) {
    bool forwardLoop = false, pingPongLoop = false, sustain = false, envelopeLoop = false;
    int panningEnvelopes = 0, fadeouts = 0, autoVibrato = 0;
    for (uint32_t i = 0; i < song.instrumentCount; ++i) {
        const InstrumentRecord& ins = song.instrumentTable[i];
        ASSERT_EQ(ins.sampleCount, 1u) << "instrument " << i + 1;
        const SampleRecord& s = *ins.samples[0];
        EXPECT_EQ(s.is16Bit, 0) << "instrument " << i + 1;
        EXPECT_NE(s.packing, 0xAD) << "instrument " << i + 1;
        EXPECT_GT(s.length, 0u) << "instrument " << i + 1;
        forwardLoop |= s.loopType == LoopForward;
        pingPongLoop |= s.loopType == LoopPingPong;
        sustain |= (ins.volumeEnvelopeFlags & (EnvelopeOn | EnvelopeSustain)) == (EnvelopeOn | EnvelopeSustain);
        envelopeLoop |= (ins.volumeEnvelopeFlags & (EnvelopeOn | EnvelopeLoop)) == (EnvelopeOn | EnvelopeLoop);
        panningEnvelopes += (ins.panningEnvelopeFlags & EnvelopeOn) != 0;
        fadeouts += ins.fadeout != 0;
        autoVibrato += ins.vibratoDepth != 0 && ins.vibratoRate != 0;
    }
    EXPECT_TRUE(forwardLoop);
    EXPECT_TRUE(pingPongLoop);
    EXPECT_TRUE(sustain) << "no volume envelope with a sustain point";
    EXPECT_TRUE(envelopeLoop) << "no looped volume envelope";
    EXPECT_EQ(panningEnvelopes, 1);
    EXPECT_GT(fadeouts, 0);
    EXPECT_GT(autoVibrato, 0);
}

TEST_F(TuneShape, PatternsUseTheTrackerEffectsOfTheTune) {
    std::set<std::pair<int, int>> used;   // (effect, E sub-command or -1)
    for (uint16_t order = 0; order < song.songLength; ++order) {
        const PatternSlot& p = song.patternTable[song.orderTable[order]];
        ASSERT_NE(p.cells, nullptr) << "order " << order << " plays an empty pattern";
        for (uint32_t i = 0; i < uint32_t(p.rowCount) * uint32_t(song.channelCount); ++i) {
            const NoteCell& c = p.cells[i];
            if (c.effect == 0 && c.effectParam == 0) continue;
            used.insert({c.effect, c.effect == 14 ? c.effectParam >> 4 : -1});
        }
    }
    const struct {
        const char* name;
        int effect, sub;
    } wanted[] = {
        {"arpeggio", 0, -1},        {"portamento up", 1, -1},       {"portamento down", 2, -1},
        {"tone portamento", 3, -1}, {"vibrato", 4, -1},             {"volume slide", 10, -1},
        {"set volume", 12, -1},     {"panning", 8, -1},             {"note cut", 14, 12},
        {"note delay", 14, 13},     {"retrigger", 14, 9},           {"fine volume slide up", 14, 10},
        {"fine volume slide down", 14, 11}, {"pattern break", 13, -1}, {"position jump", 11, -1},
    };
    for (const auto& e : wanted) EXPECT_TRUE(used.count({e.effect, e.sub})) << e.name << " is not used";
}

}  // namespace
