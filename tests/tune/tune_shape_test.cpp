// The embedded tune has the shape the intro's tune must have, and loads in
// the player: header facts, one 8-bit sample per instrument, looped sustains,
// envelopes, fade-outs and auto-vibrato, and the tracker effects a musician
// would use.
#include <gtest/gtest.h>

#include <set>
#include <utility>

#include "module.h"
#include "sources.h"

using namespace introplayer;

TEST(TuneShape, HeaderInstrumentsAndEffectsOfTheEmbeddedTune) {
    ASSERT_TRUE(createPlayerHeap());
    ASSERT_TRUE(loadModuleFromSource(SourceFile, TUNE_MODULE_PATH, 0)) << moduleLoadError;
    EXPECT_NE(songTitle[0], 0) << "the title is empty";
    const uint32_t facts[] = {uint32_t(song.channelCount), song.patternSlotCount, song.instrumentCount,
                              song.flags & 1u, song.defaultSpeed, song.defaultTempo};
    EXPECT_EQ(std::vector<uint32_t>(facts, facts + 6), (std::vector<uint32_t>{16, 7, 11, 1, 4, 125}));
    EXPECT_LT(song.restartPosition, song.songLength);

    std::set<int> design;   // loop types, sustain (13) and looped (15) volume envelopes, fade-out (20), auto-vibrato (21)
    int panningEnvelopes = 0;
    for (uint32_t i = 0; i < song.instrumentCount; ++i) {
        const InstrumentRecord& ins = song.instrumentTable[i];
        ASSERT_EQ(ins.sampleCount, 1u) << "instrument " << i + 1;
        const SampleRecord& s = *ins.samples[0];
        EXPECT_TRUE(s.is16Bit == 0 && s.packing != 0xAD && s.length > 0) << "instrument " << i + 1;
        design.insert({s.loopType, 10 + (ins.volumeEnvelopeFlags & 3), 10 + (ins.volumeEnvelopeFlags & 5)});
        if (ins.fadeout) design.insert(20);
        if (ins.vibratoDepth && ins.vibratoRate) design.insert(21);
        panningEnvelopes += (ins.panningEnvelopeFlags & EnvelopeOn) != 0;
    }
    for (int wanted : {1, 2, 13, 15, 20, 21}) EXPECT_TRUE(design.count(wanted)) << wanted;   // both loop kinds
    EXPECT_EQ(panningEnvelopes, 1);

    std::set<std::pair<int, int>> used;   // (effect, E sub-command or -1)
    for (uint16_t order = 0; order < song.songLength; ++order) {
        const PatternSlot& p = song.patternTable[song.orderTable[order]];
        ASSERT_NE(p.cells, nullptr) << "order " << order << " plays an empty pattern";
        for (uint32_t i = 0; i < uint32_t(p.rowCount) * uint32_t(song.channelCount); ++i)
            if (p.cells[i].effect || p.cells[i].effectParam)
                used.insert({p.cells[i].effect, p.cells[i].effect == 14 ? p.cells[i].effectParam >> 4 : -1});
    }
    // Arpeggio, portamentos, vibrato, volume slide and set, panning, note cut
    // and delay, retrigger, fine volume slides, pattern break, position jump.
    const std::pair<int, int> wanted[] = {{0, -1},  {1, -1},  {2, -1},  {3, -1},  {4, -1},
                                          {10, -1}, {12, -1}, {8, -1},  {14, 12}, {14, 13},
                                          {14, 9},  {14, 10}, {14, 11}, {13, -1}, {11, -1}};
    for (const auto& e : wanted) EXPECT_TRUE(used.count(e)) << e.first << " " << e.second << " is not used";
    destroyPlayerHeap();
}
