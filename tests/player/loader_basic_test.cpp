// The loader end to end on modules built with the test writer.
#include <gtest/gtest.h>

#include "module.h"
#include "xm_writer.h"

namespace {

TEST(LoaderBasic, LoadsHeaderPatternsAndAnInstrument) {
    XmModule m;
    m.title = "Basic";
    m.channels = 2;
    m.speed = 4;
    m.tempo = 140;
    m.restart = 1;
    m.orders = {0, 1, 0};
    XmPattern& p0 = m.addPattern(4);
    p0.at(0, 0) = xmNote(49, 1, 0x40);
    p0.at(3, 1) = xmCell(97, 1, 0x10, 0x0F, 3);
    m.addPattern(2);
    m.addInstrument(xmSample8({1, 2, 3}));

    ASSERT_TRUE(loadXmBytes(writeXm(m))) << moduleLoadError;
    EXPECT_STREQ(songTitle, "Basic");
    EXPECT_EQ(song.channelCount, 2);
    EXPECT_EQ(song.songLength, 3);
    EXPECT_EQ(song.restartPosition, 1);
    EXPECT_EQ(song.patternSlotCount, 2);
    EXPECT_EQ(song.instrumentCount, 1);
    EXPECT_EQ(song.defaultSpeed, 4);
    EXPECT_EQ(song.defaultTempo, 140);
    EXPECT_EQ(song.flags & 1, 1);
    ASSERT_EQ(song.patternTable[0].rowCount, 4);
    const NoteCell* cells = song.patternTable[0].cells;
    EXPECT_EQ(cells[0].note, 49);
    EXPECT_EQ(cells[0].instrument, 1);
    EXPECT_EQ(cells[0].volumeColumn, 0x40);
    EXPECT_EQ(cells[3 * 2 + 1].note, 97);
    EXPECT_EQ(cells[3 * 2 + 1].effect, 0x0F);
    EXPECT_EQ(cells[3 * 2 + 1].effectParam, 3);
    const InstrumentRecord& ins = song.instrumentTable[0];
    ASSERT_EQ(ins.sampleCount, 1u);
    EXPECT_EQ(ins.samples[0]->length, 3u);
    EXPECT_EQ(ins.samples[0]->data[0], 256);
    EXPECT_EQ(ins.samples[0]->data[2], 768);
}

}  // namespace
