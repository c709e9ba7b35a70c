// The XM loader: header, slots, cells, instruments, sample decoding and the limits.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "module.h"
#include "sources.h"
#include "xm_writer.h"

namespace {

using Cell = std::array<int, 5>;   // note, instrument, volume column, effect, parameter

Cell cellAt(uint32_t pattern, uint32_t index) {
    const NoteCell& c = song.patternTable[pattern].cells[index];
    return {c.note, c.instrument, c.volumeColumn, c.effect, c.effectParam};
}

std::vector<int16_t> sampleValues(const SampleRecord* s, uint32_t count) {
    return std::vector<int16_t>(s->data, s->data + count);
}

const SampleRecord* firstSample() { return song.instrumentTable[0].samples[0]; }

XmModule moduleOf(uint16_t channels, const std::vector<uint8_t>& orders) {
    XmModule m;
    m.channels = channels;
    m.orders = orders;
    return m;
}

bool loads(const XmModule& m) { return loadXmBytes(writeXm(m)) != 0; }

XmModule oneSampleModule(const XmSample& sample) {
    XmModule m = moduleOf(4, {0});
    m.addPattern(1);
    m.addInstrument(sample);
    return m;
}

TEST(Header, SongFieldsAreTaken) {
    XmModule m = moduleOf(2, {0, 1, 0});
    m.speed = 4;
    m.tempo = 140;
    m.restart = 1;
    m.addPattern(4);
    m.addPattern(2);
    ASSERT_TRUE(loads(m)) << moduleLoadError;
    EXPECT_EQ((std::array<int, 6>{song.channelCount, song.songLength, song.restartPosition, song.defaultSpeed,
                                  song.defaultTempo, song.flags & 1}),
              (std::array<int, 6>{2, 3, 1, 4, 140, 1}));
}

TEST(PatternSlots, CountFromFileAndOrderList) {
    struct Case {
        const char* what;
        uint16_t filePatterns;
        std::vector<uint8_t> orders;
        std::optional<uint16_t> songLength;
        uint16_t expectedLength, expectedSlots;
    };
    std::vector<uint8_t> fullTable(256, 0);
    fullTable[255] = 20;   // the last real entry still counts
    const Case cases[] = {
        {"order list names 12, file has 10", 10, {0, 3, 12, 1}, std::nullopt, 4, 13},
        {"order list within the file", 10, {0, 9, 9}, std::nullopt, 3, 10},
        {"song length 0 scans nothing", 2, {7, 7}, 0, 0, 2},
        {"only the song's entries are scanned", 2, {1, 0, 200}, 2, 2, 2},
        {"highest possible entry", 1, {255}, std::nullopt, 1, 256},
        {"no patterns at all", 0, {0}, std::nullopt, 1, 1},
        {"song length above the table", 1, fullTable, 300, 256, 21},
    };
    for (const Case& c : cases) {
        XmModule m = moduleOf(3, c.orders);
        m.songLength = c.songLength;
        for (uint16_t p = 0; p < c.filePatterns; p++) m.addPattern(8).at(0, 0) = xmNote(p + 1);
        ASSERT_TRUE(loads(m)) << c.what << ": " << moduleLoadError;
        EXPECT_EQ(song.songLength, c.expectedLength) << c.what;
        EXPECT_EQ(song.patternSlotCount, c.expectedSlots) << c.what;
        for (uint16_t p = 0; p < c.filePatterns; p++) {
            EXPECT_EQ(song.patternTable[p].rowCount, 8) << c.what;
            EXPECT_EQ(song.patternTable[p].cells[0].note, p + 1) << c.what;
        }
        for (uint16_t p = c.filePatterns; p < c.expectedSlots; p++) {
            ASSERT_EQ(song.patternTable[p].rowCount, 64) << c.what << " slot " << p;
            ASSERT_NE(song.patternTable[p].cells, nullptr);
            for (int i = 0; i < 64 * 3; i++) ASSERT_EQ(cellAt(p, i), Cell{}) << c.what;
        }
    }
}

TEST(Cells, PackedAndPlainFormsDecodeAlike) {
    for (XmPacking form : {XmPacking::Auto, XmPacking::MaskAlways, XmPacking::Plain}) {
        XmModule m = moduleOf(3, {0});
        XmPattern& p = m.addPattern(3);
        p.packing = form;
        p.at(0, 0) = xmCell(1, 2, 0x10, 0x0C, 0x20);   // every field: plain in Auto
        p.at(0, 2) = xmNote(96);
        p.at(1, 1) = xmEffect(0x0A, 0x0F);
        p.at(2, 0) = xmCell(0, 0, 0x50, 0, 0);
        p.at(2, 2) = xmNote(97, 3);
        for (int i = 0; i < 3; i++) m.addInstrument();
        ASSERT_TRUE(loads(m)) << moduleLoadError;
        const Cell expected[9] = {{1, 2, 0x10, 0x0C, 0x20}, {}, {96, 0, 0, 0, 0}, {}, {0, 0, 0, 0x0A, 0x0F}, {},
                                  {0, 0, 0x50, 0, 0},       {}, {97, 3, 0, 0, 0}};
        for (int i = 0; i < 9; i++) EXPECT_EQ(cellAt(0, i), expected[i]) << i;
    }
}

TEST(Cells, ValuesThePlayerCannotUseAreEmptied) {
    XmModule m = moduleOf(6, {0});
    XmPattern& p = m.addPattern(1);
    p.packing = XmPacking::MaskAlways;
    p.at(0, 0) = xmNote(1, 40);                  // 31 instruments: 40 is none
    p.at(0, 1) = xmNote(2, 31);                  // the last instrument stays
    p.at(0, 2) = xmNote(98, 1);                  // no such note
    p.at(0, 3) = xmCell(5, 0, 0, 36, 0x44);      // no such effect
    p.at(0, 4) = xmCell(5, 0, 0, 35, 0x44);      // 'Z' is the last effect
    p.at(0, 5) = xmNote(200, 32);
    for (int i = 0; i < 31; i++) m.addInstrument();
    ASSERT_TRUE(loads(m)) << moduleLoadError;
    const Cell expected[6] = {{1, 0, 0, 0, 0}, {2, 31, 0, 0, 0}, {0, 1, 0, 0, 0},
                              {5, 0, 0, 0, 0}, {5, 0, 0, 35, 0x44}, {}};
    for (int i = 0; i < 6; i++) EXPECT_EQ(cellAt(0, i), expected[i]) << i;
}

TEST(Cells, EmptyAndZeroRowPatternsKeepTheStreamInStep) {
    XmModule m = moduleOf(2, {0, 1, 2});
    XmPattern& empty = m.addPattern(16);
    empty.at(5, 1) = xmNote(10);   // stored nowhere: the size says 0 and no data follows
    empty.packedSize = 0;
    empty.rawData = std::vector<uint8_t>{};
    XmPattern& broken = m.addPattern(0);
    broken.rawData = std::vector<uint8_t>{0x81, 50, 0x81, 51, 0x80, 0x83, 52, 2};   // 8 bytes of cells
    m.addPattern(2).at(1, 1) = xmNote(60, 1, 0x20);
    m.addInstrument(xmSample8({5}));
    ASSERT_TRUE(loads(m)) << moduleLoadError;
    EXPECT_EQ(song.patternTable[0].rowCount, 16);
    EXPECT_EQ(song.patternTable[0].packedSize, 0);
    ASSERT_NE(song.patternTable[0].cells, nullptr);
    for (int i = 0; i < 32; i++) ASSERT_EQ(cellAt(0, i), Cell{});
    EXPECT_EQ(song.patternTable[1].rowCount, 0);
    EXPECT_EQ(song.patternTable[1].cells, nullptr);
    EXPECT_EQ(cellAt(2, 3), (Cell{60, 1, 0x20, 0, 0}));
    EXPECT_EQ(firstSample()->data[0], 5 * 256);
}

TEST(Cells, ChannelsAbove32AreCappedAndTheStreamStaysInStep) {
    XmModule m = moduleOf(40, {0, 1});
    XmPattern& wide = m.addPattern(2);
    wide.at(0, 0) = xmNote(1);
    wide.at(0, 31) = xmNote(32);
    wide.at(0, 39) = xmNote(40);
    wide.at(1, 35) = xmCell(12, 1, 0x30, 4, 0x44);
    wide.at(1, 2) = xmNote(3);
    m.addPattern(1).at(0, 5) = xmNote(6);
    m.patterns[1].at(0, 39) = xmNote(7);
    m.addInstrument(xmSample8({9}));
    ASSERT_TRUE(loads(m)) << moduleLoadError;
    EXPECT_EQ(song.channelCount, 32);
    EXPECT_EQ(song.rawChannelCount, 40);
    EXPECT_EQ(cellAt(0, 0)[0], 1);
    EXPECT_EQ(cellAt(0, 31)[0], 32);
    EXPECT_EQ(cellAt(0, 32 + 2)[0], 3);   // row 1 starts at 32 cells
    EXPECT_EQ(cellAt(1, 5)[0], 6);
    EXPECT_EQ(firstSample()->data[0], 9 * 256);
}

TEST(Cells, ChannelCountIsTheLowByteOfTheHeaderWord) {
    XmModule m = moduleOf(2, {0});
    m.channelWord = 0x0102;
    m.addPattern(1).at(0, 1) = xmNote(5);
    m.instrumentCount = 0x0300;   // low byte 0: no instruments
    ASSERT_TRUE(loads(m)) << moduleLoadError;
    EXPECT_EQ(song.channelCount, 2);
    EXPECT_EQ(song.instrumentCount, 0);
    EXPECT_EQ(cellAt(0, 1)[0], 5);
}

TEST(Title, UnprintableBytesAreDropped) {
    struct Case {
        std::vector<uint8_t> bytes;
        const char* expected;
    };
    const Case cases[] = {
        {{1, 'S', 'o', 'n', 'g', 0xE9, ' ', '1'}, "Song 1"},
        {{'A', 0x7F, 'B', 0x80, 0xFF, 31, 32, 'C'}, "A\x7F" "B C"},
        {std::vector<uint8_t>(20, 'x'), "xxxxxxxxxxxxxxxxxxxx"},
        {{}, ""},
    };
    for (const Case& c : cases) {
        XmModule m;
        m.titleBytes = c.bytes;
        ASSERT_TRUE(loads(m)) << moduleLoadError;
        EXPECT_STREQ(songTitle, c.expected);
    }
}

TEST(Instruments, HeaderFieldsAreTakenAndFadeoutDoubledIn16Bits) {
    XmModule m;
    XmInstrument& ins = m.addInstrument(xmSample8({1}));
    ins.vibratoType = 2;
    ins.vibratoSweep = 3;
    ins.vibratoDepth = 4;
    ins.vibratoRate = 5;
    ins.fadeout = 0x8001;
    ins.volumeEnvelope.points = {{0, 64}, {10, 32}, {30, 0}};
    ins.volumeEnvelope.flags = EnvelopeOn | EnvelopeSustain | EnvelopeLoop;
    ins.volumeEnvelope.sustain = 1;
    ins.volumeEnvelope.loopEnd = 2;
    ins.panningEnvelope.points = {{0, 32}, {5, 64}};
    ins.panningEnvelope.flags = EnvelopeOn;
    m.addInstrument().fadeout = 0x0200;
    ASSERT_TRUE(loads(m)) << moduleLoadError;
    const InstrumentRecord& a = song.instrumentTable[0];
    EXPECT_EQ((std::array<int, 4>{a.vibratoType, a.vibratoSweep, a.vibratoDepth, a.vibratoRate}),
              (std::array<int, 4>{2, 3, 4, 5}));
    EXPECT_EQ(a.fadeout, 2);   // 0x8001 * 2 wraps to 2
    EXPECT_EQ((std::array<int, 6>{a.volumePointCount, a.volumeEnvelope[1].x, a.volumeEnvelope[1].y,
                                  a.volumeEnvelopeFlags, a.volumeSustain, a.volumeLoopEnd}),
              (std::array<int, 6>{3, 10, 32, 7, 1, 2}));
    EXPECT_EQ((std::array<int, 3>{a.panningPointCount, a.panningEnvelope[1].y, a.panningEnvelopeFlags}),
              (std::array<int, 3>{2, 64, 1}));
    const InstrumentRecord& b = song.instrumentTable[1];
    EXPECT_EQ(b.sampleCount, 0u);
    EXPECT_EQ(b.samples[0], nullptr);
    EXPECT_EQ(b.fadeout, 0x0400);
}

TEST(Instruments, SamplesPastTheSixteenthAreSkipped) {
    XmModule m;
    for (int i = 0; i < 2; ++i) {
        XmInstrument& ins = m.addInstrument();
        for (int32_t k = 0; k < 18; k++) ins.samples.push_back(xmSample8(std::vector<int32_t>(size_t(k + 1), k)));
    }
    ASSERT_TRUE(loads(m));
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(song.instrumentTable[i].sampleCount, 16u);
        for (uint32_t k = 0; k < 16; k++) EXPECT_EQ(song.instrumentTable[i].samples[k]->data[k], int16_t(k * 256));
    }
}

TEST(Instruments, HeaderSizeDecidesWhereTheNextPartStarts) {
    // A sample-less instrument whose header ends after the sample count: the
    // next instrument's bytes must not become its envelopes. A larger header
    // is skipped to its declared end.
    XmModule m;
    m.addInstrument().headerSize = 29;
    XmInstrument& next = m.addInstrument(xmSample8({3, 4}));
    next.volumeEnvelope.points = {{0, 64}, {4, 0}};
    next.volumeEnvelope.flags = EnvelopeOn;
    for (uint16_t x = 0; x < 12; x++) next.panningEnvelope.points.push_back({x * 5, 0x3F3F});
    next.fadeout = 100;
    next.headerSize = 300;
    ASSERT_TRUE(loads(m)) << moduleLoadError;
    const InstrumentRecord& a = song.instrumentTable[0];
    EXPECT_EQ(a.sampleCount, 0u);
    EXPECT_EQ(a.volumePointCount, 0);
    EXPECT_EQ(a.volumeEnvelopeFlags, 0);
    EXPECT_EQ(a.fadeout, 0);
    const InstrumentRecord& b = song.instrumentTable[1];
    EXPECT_EQ(b.volumePointCount, 2);
    EXPECT_EQ(b.fadeout, 200);
    EXPECT_EQ(sampleValues(b.samples[0], 2), (std::vector<int16_t>{3 * 256, 4 * 256}));
}

TEST(Envelopes, DamagedEnvelopesAreRepairedAtLoad) {
    using Points = std::vector<std::pair<uint16_t, uint16_t>>;
    struct Case {
        const char* what;
        Points points;
        std::optional<uint8_t> count;
        uint8_t sustain, loopStart, loopEnd, flags;
        uint8_t expectedCount, expectedFlags;
    };
    const Points three = {{0, 64}, {8, 32}, {16, 0}};
    const Case cases[] = {
        {"valid", three, std::nullopt, 1, 0, 2, 7, 3, 7},
        {"13 points", three, 13, 1, 0, 2, 7, 0, 0},
        {"12 points", three, 12, 1, 0, 2, 7, 3, 7},   // points past 3 are (0,0): cut there
        {"one point", {{0, 64}}, std::nullopt, 0, 0, 0, 7, 1, 0},
        {"x repeats", {{0, 64}, {8, 32}, {8, 0}, {20, 0}}, std::nullopt, 0, 0, 1, 7, 2, 7},
        {"x falls", {{0, 64}, {8, 32}, {4, 0}}, std::nullopt, 1, 0, 1, 7, 2, 7},
        {"x falls at once", {{5, 64}, {0, 32}}, std::nullopt, 0, 0, 0, 7, 1, 0},
        {"sustain past the end", three, std::nullopt, 3, 0, 2, 7, 3, 5},
        {"loop end past the end", three, std::nullopt, 1, 0, 3, 7, 3, 3},
        {"loop start past the end", three, std::nullopt, 1, 5, 2, 7, 3, 3},
        {"loop backwards", three, std::nullopt, 1, 2, 1, 7, 3, 3},
        {"off but damaged", three, 40, 9, 9, 9, 0, 0, 0},
    };
    for (const Case& c : cases) {
        XmModule m;
        XmInstrument& ins = m.addInstrument(xmSample8({1}));
        XmEnvelope e;
        e.points = c.points;
        e.pointCount = c.count;
        e.sustain = c.sustain;
        e.loopStart = c.loopStart;
        e.loopEnd = c.loopEnd;
        e.flags = c.flags;
        ins.volumeEnvelope = e;
        ins.panningEnvelope = e;
        ASSERT_TRUE(loads(m)) << c.what << ": " << moduleLoadError;
        const InstrumentRecord& r = song.instrumentTable[0];
        EXPECT_EQ(r.volumePointCount, c.expectedCount) << c.what;
        EXPECT_EQ(r.volumeEnvelopeFlags, c.expectedFlags) << c.what;
        EXPECT_EQ(r.panningPointCount, c.expectedCount) << c.what;
        EXPECT_EQ(r.panningEnvelopeFlags, c.expectedFlags) << c.what;
        // Whatever the flags say, the indices name existing points.
        uint8_t last = r.volumePointCount ? r.volumePointCount - 1 : 0;
        EXPECT_LE(r.volumeSustain, last) << c.what;
        EXPECT_LE(r.volumeLoopStart, r.volumeLoopEnd) << c.what;
        EXPECT_LE(r.volumeLoopEnd, last) << c.what;
        for (uint8_t i = 1; i < r.volumePointCount; i++) {
            EXPECT_GT(r.volumeEnvelope[i].x, r.volumeEnvelope[i - 1].x) << c.what;
        }
    }
}

TEST(Samples, DeltaEncodingsDecode) {
    struct Case {
        const char* what;
        bool wide;
        std::vector<uint8_t> bytes;
        std::vector<int16_t> expected;
    };
    const Case cases[] = {
        {"8-bit deltas, scaled", false, {16, 16, (uint8_t)-32}, {4096, 8192, 0}},
        // 127, 128 -> -128, -127, -127 + -128 = -255 -> wraps to 1 (x 256)
        {"8-bit sum wraps", false, {0x7F, 0x01, 0x01, 0x80}, {32512, -32768, -32512, 256}},
        // 0x1000, +0x1000, -0x2000, +0x7FFF, +2 (wraps past 32767)
        {"16-bit deltas", true, {0x00, 0x10, 0x00, 0x10, 0x00, 0xE0, 0xFF, 0x7F, 0x02, 0x00},
         {4096, 8192, 0, 32767, -32767}},
        {"16-bit odd byte count", true, {0x00, 0x10, 0x00, 0x10, 0x05}, {4096, 8192}},
    };
    for (const Case& c : cases) {
        XmSample s = c.wide ? xmSample16({}) : xmSample8({});
        s.rawData = c.bytes;
        s.lengthBytes = (uint32_t)c.bytes.size();
        ASSERT_TRUE(loads(oneSampleModule(s))) << c.what << ": " << moduleLoadError;
        ASSERT_EQ(firstSample()->length, c.expected.size()) << c.what;
        EXPECT_EQ(firstSample()->is16Bit, c.wide ? 1 : 0) << c.what;
        EXPECT_EQ(sampleValues(firstSample(), (uint32_t)c.expected.size()), c.expected) << c.what;
    }
}

TEST(Samples, PackedFourBitExample) {
    std::vector<int8_t> table(16, 0);
    table[1] = 16;
    table[15] = -16;
    XmSample s = xmSamplePacked(table, {});
    s.rawData = std::vector<uint8_t>(table.begin(), table.end());
    s.rawData->push_back(0xF1);
    s.rawData->push_back(0x01);
    s.lengthBytes = 3;
    s.loop(0, 3, LoopForward);
    ASSERT_TRUE(loads(oneSampleModule(s))) << moduleLoadError;
    const SampleRecord* r = firstSample();
    EXPECT_EQ(r->length, 3u);
    EXPECT_EQ(r->packing, 0xAD);
    // Four values for length 3; the forward loop's pad (value at loop start 0) in the fifth slot.
    EXPECT_EQ(sampleValues(r, 6), (std::vector<int16_t>{4096, 0, 4096, 4096, 4096, 0}));
    EXPECT_EQ(r->data[-1], 0);

    XmSample wide = xmSample16({1, 2, 3, 4});
    wide.reservedByte = 0xAD;   // packed 16-bit data does not exist
    EXPECT_FALSE(loads(oneSampleModule(wide)));
    EXPECT_STRNE(moduleLoadError, "");
}

TEST(Samples, LoopNormalisationAndPads) {
    struct Case {
        const char* what;
        XmSampleForm form;
        uint32_t loopStartBytes, loopLengthBytes;
        uint8_t type;
        uint32_t expectedStart, expectedLength;
        uint8_t expectedType;
        int32_t expectedPadFrame;   // frame the pad copies, -1 = pad 0
    };
    const uint32_t frames = 10;
    const Case cases[] = {
        {"forward", XmSampleForm::Bits8, 2, 5, 1, 2, 5, 1, 2},
        {"ping-pong", XmSampleForm::Bits8, 2, 5, 2, 2, 5, 2, 9},
        {"none keeps no points", XmSampleForm::Bits8, 2, 5, 0, 0, 10, 0, -1},
        {"zero loop length", XmSampleForm::Bits8, 4, 0, 1, 0, 10, 0, -1},
        {"type 3 kept", XmSampleForm::Bits8, 2, 5, 3, 2, 5, 3, -1},
        {"16-bit halves", XmSampleForm::Bits16, 4, 10, 1, 2, 5, 1, 2},
        {"16-bit odd bytes round down", XmSampleForm::Bits16, 5, 11, 2, 2, 5, 2, 9},
        {"16-bit loop of one byte", XmSampleForm::Bits16, 0, 1, 1, 0, 10, 0, -1},
        {"loop end past the data", XmSampleForm::Bits8, 6, 100, 1, 6, 4, 1, 6},
        {"loop start at the end", XmSampleForm::Bits8, 10, 4, 1, 0, 10, 0, -1},
        {"loop start far past", XmSampleForm::Bits8, 0xFFFFFFF0, 0x20, 2, 0, 10, 0, -1},
        {"loop length wraps", XmSampleForm::Bits8, 3, 0xFFFFFFFF, 1, 3, 7, 1, 3},
        {"type 3 past the data", XmSampleForm::Bits8, 8, 9, 3, 8, 2, 3, -1},
    };
    for (const Case& c : cases) {
        std::vector<int32_t> values;
        for (uint32_t i = 0; i < frames; i++) values.push_back((int32_t)(i + 1) * 10);
        XmSample s = c.form == XmSampleForm::Bits16 ? xmSample16(values) : xmSample8(values);
        s.loopType = c.type;
        s.loopStartBytes = c.loopStartBytes;
        s.loopLengthBytes = c.loopLengthBytes;
        ASSERT_TRUE(loads(oneSampleModule(s))) << c.what << ": " << moduleLoadError;
        const SampleRecord* r = firstSample();
        EXPECT_EQ(r->length, frames) << c.what;
        EXPECT_EQ(r->loopStart, c.expectedStart) << c.what;
        EXPECT_EQ(r->loopLength, c.expectedLength) << c.what;
        EXPECT_EQ(r->loopType, c.expectedType) << c.what;
        int32_t scale = c.form == XmSampleForm::Bits16 ? 1 : 256;
        int16_t pad = (int16_t)(c.expectedPadFrame < 0 ? 0 : (c.expectedPadFrame + 1) * 10 * scale);
        EXPECT_EQ((std::vector<int16_t>{r->data[-1], r->data[frames], r->data[frames + 1], r->data[frames + 2]}),
                  (std::vector<int16_t>{0, pad, 0, 0}))
            << c.what;
    }
}

TEST(Samples, SamplesOfAnInstrumentKeepHeaderOrderAndOtherFields) {
    XmModule m;
    XmInstrument& ins = m.addInstrument();
    XmSample a = xmSample8({1, 2});
    a.volume = 40;
    a.finetune = -16;
    a.panning = 10;
    a.relativeNote = -12;
    XmSample b = xmSample16({300, 400, 500});
    b.finetune = 127;
    b.relativeNote = 24;
    ins.samples = {a, b};
    ins.sampleMap[10] = 1;
    ASSERT_TRUE(loads(m)) << moduleLoadError;
    const InstrumentRecord& r = song.instrumentTable[0];
    EXPECT_EQ(r.sampleMap[10], 1);
    const SampleRecord& first = *r.samples[0];
    EXPECT_EQ((std::array<int, 4>{first.volume, first.finetune, first.panning, first.relativeNote}),
              (std::array<int, 4>{40, -16, 10, -12}));
    EXPECT_EQ(r.samples[1]->finetune, 127);
    EXPECT_EQ(r.samples[1]->relativeNote, 24);
    EXPECT_EQ(sampleValues(r.samples[1], 3), (std::vector<int16_t>{300, 400, 500}));
    EXPECT_EQ(r.samples[2], nullptr);
}

}  // namespace
