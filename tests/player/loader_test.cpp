// The XM loader: cells, slots, instruments, sample decoding, and damaged or
// truncated files, which it repairs or refuses without reading or allocating
// past what the file could hold.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

#include "module.h"
#include "sources.h"
#include "xm_writer.h"

using namespace introplayer;

namespace {

using Cell = std::array<int, 5>;   // note, instrument, volume column, effect, parameter
using Values = std::vector<int16_t>;

Cell cellAt(uint32_t pattern, uint32_t index) {
    const NoteCell& c = song.patternTable[pattern].cells[index];
    return {c.note, c.instrument, c.volumeColumn, c.effect, c.effectParam};
}
Values valuesOf(const SampleRecord* s, uint32_t count) { return Values(s->data, s->data + count); }
const SampleRecord* firstSample() { return song.instrumentTable[0].samples[0]; }
bool loads(const XmModule& m) { return loadXmBytes(writeXm(m)) != 0; }

XmModule moduleOf(uint16_t channels, const std::vector<uint8_t>& orders) {
    XmModule m;
    m.channels = channels;
    m.orders = orders;
    return m;
}

XmModule oneSampleModule(const XmSample& sample) {
    XmModule m = moduleOf(4, {0});
    m.addPattern(1);
    m.addInstrument(sample);
    return m;
}

TEST(Loader, PatternSlotsCountFromFileAndOrderList) {
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
        {"song length 0 scans nothing", 2, {7, 7}, 0, 0, 2},
        {"only the song's entries are scanned", 2, {1, 0, 200}, 2, 2, 2},
        {"highest possible entry", 1, {255}, std::nullopt, 1, 256},
        {"song length above the table", 1, fullTable, 300, 256, 21},
    };
    for (const Case& c : cases) {
        XmModule m = moduleOf(3, c.orders);
        m.songLength = c.songLength;
        for (uint16_t p = 0; p < c.filePatterns; p++) m.addPattern(8).at(0, 0) = xmNote(p + 1);
        ASSERT_TRUE(loads(m)) << c.what << ": " << moduleLoadError;
        EXPECT_EQ(song.songLength, c.expectedLength) << c.what;
        ASSERT_EQ(song.patternSlotCount, c.expectedSlots) << c.what;
        EXPECT_EQ(cellAt(c.filePatterns - 1, 0)[0], c.filePatterns) << c.what;
        // Slots the file does not hold are empty 64-row patterns.
        const PatternSlot& last = song.patternTable[c.expectedSlots - 1];
        if (c.expectedSlots > c.filePatterns) {
            EXPECT_TRUE(last.rowCount == 64 && last.cells && cellAt(c.expectedSlots - 1, 191) == Cell{}) << c.what;
        }
    }
}

TEST(Loader, CellsDecodeAlikeInEveryFormAndUnusableValuesAreEmptied) {
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

TEST(Loader, EmptyZeroRowAndWidePatternsKeepTheStreamInStep) {
    XmModule m = moduleOf(2, {0, 1, 2});
    XmPattern& empty = m.addPattern(16);
    empty.at(5, 1) = xmNote(10);   // stored nowhere: the size says 0 and no data follows
    empty.packedSize = 0;
    empty.rawData = std::vector<uint8_t>{};
    m.addPattern(0).rawData = std::vector<uint8_t>{0x81, 50, 0x81, 51, 0x80, 0x83, 52, 2};
    m.addPattern(2).at(1, 1) = xmNote(60, 1, 0x20);
    m.addInstrument(xmSample8({5}));
    ASSERT_TRUE(loads(m)) << moduleLoadError;
    EXPECT_EQ(song.patternTable[0].rowCount, 16);
    ASSERT_NE(song.patternTable[0].cells, nullptr);
    for (int i = 0; i < 32; i++) ASSERT_EQ(cellAt(0, i), Cell{});
    EXPECT_EQ(song.patternTable[1].rowCount, 0);
    EXPECT_EQ(song.patternTable[1].cells, nullptr);
    EXPECT_EQ(cellAt(2, 3), (Cell{60, 1, 0x20, 0, 0}));
    EXPECT_EQ(firstSample()->data[0], 5 * 256);

    // Channels past 32 are read and dropped; the count is the header word's low byte.
    m = moduleOf(40, {0, 1});
    m.channelWord = 0x0128;
    XmPattern& wide = m.addPattern(2);
    wide.at(0, 31) = xmNote(32);
    wide.at(0, 39) = xmNote(40);
    wide.at(1, 35) = xmCell(12, 1, 0x30, 4, 0x44);
    wide.at(1, 2) = xmNote(3);
    m.addPattern(1).at(0, 5) = xmNote(6);
    m.patterns[1].at(0, 39) = xmNote(7);
    m.addInstrument(xmSample8({9}));
    m.instrumentCount = 0x0201;
    ASSERT_TRUE(loads(m)) << moduleLoadError;
    EXPECT_EQ(song.channelCount, 32);
    EXPECT_EQ(song.rawChannelCount, 0x128);   // kept whole for the song facts
    EXPECT_EQ(song.instrumentCount, 1);
    EXPECT_EQ(cellAt(0, 31)[0], 32);
    EXPECT_EQ(cellAt(0, 32 + 2)[0], 3);   // row 1 starts at 32 cells
    EXPECT_EQ(cellAt(1, 5)[0], 6);
    EXPECT_EQ(firstSample()->data[0], 9 * 256);
}

TEST(Loader, InstrumentHeaderSizeDecidesWhereTheNextPartStarts) {
    // A sample-less instrument whose header ends after the sample count: the
    // next instrument's bytes must not become its envelopes. A larger header
    // is skipped to its declared end.
    XmModule m;
    m.addInstrument().headerSize = 29;
    XmInstrument& next = m.addInstrument(xmSample8({3, 4}));
    next.volumeEnvelope = {{{0, 64}, {4, 0}}, 0, 0, 0, EnvelopeOn, {}};
    for (uint16_t x = 0; x < 12; x++) next.panningEnvelope.points.push_back({x * 5, 0x3F3F});
    next.fadeout = 0x8001;   // doubled, in 16 bits
    next.samples.push_back(xmSample16({300, 400, 500}));
    next.samples[1].relativeNote = -24;
    next.samples[1].finetune = -13;   // in sixteenths of a semitone, rounded down: -16
    next.sampleMap[10] = 1;
    next.vibratoType = 2;
    next.vibratoSweep = 3;
    next.vibratoDepth = 4;
    next.vibratoRate = 5;
    next.headerSize = 300;
    ASSERT_TRUE(loads(m)) << moduleLoadError;
    const InstrumentRecord& a = song.instrumentTable[0];
    EXPECT_EQ((std::array<int, 4>{int(a.sampleCount), a.volumePointCount, a.volumeEnvelopeFlags, a.fadeout}),
              (std::array<int, 4>{}));
    const InstrumentRecord& b = song.instrumentTable[1];
    EXPECT_EQ((std::array<int, 10>{b.volumePointCount, b.panningPointCount, b.fadeout, b.sampleMap[10],
                                   b.samples[1]->relativeNote, b.samples[1]->finetune, b.vibratoType,
                                   b.vibratoSweep, b.vibratoDepth, b.vibratoRate}),
              (std::array<int, 10>{2, 12, 2, 1, -24, -16, 2, 3, 4, 5}));
    EXPECT_EQ(valuesOf(b.samples[0], 2), (Values{3 * 256, 4 * 256}));
    EXPECT_EQ(valuesOf(b.samples[1], 3), (Values{300, 400, 500}));
}

TEST(Loader, DamagedEnvelopesAreRepaired) {
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
        ins.volumeEnvelope = {c.points, c.sustain, c.loopStart, c.loopEnd, c.flags, c.count};
        ins.panningEnvelope = ins.volumeEnvelope;
        ASSERT_TRUE(loads(m)) << c.what << ": " << moduleLoadError;
        const InstrumentRecord& r = song.instrumentTable[0];
        EXPECT_EQ((std::array<int, 4>{r.volumePointCount, r.volumeEnvelopeFlags, r.panningPointCount,
                                      r.panningEnvelopeFlags}),
                  (std::array<int, 4>{c.expectedCount, c.expectedFlags, c.expectedCount, c.expectedFlags}))
            << c.what;
    }
}

TEST(Loader, SampleEncodingsDecode) {
    struct Case {
        const char* what;
        bool wide;
        std::vector<uint8_t> bytes;
        Values expected;
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
        EXPECT_EQ(valuesOf(firstSample(), (uint32_t)c.expected.size()), c.expected) << c.what;
    }

    // Packed 4-bit: a table of 16 deltas, then two nibbles a byte, low first.
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
    EXPECT_EQ(firstSample()->length, 3u);
    // Four values for length 3; the forward loop's pad (value at loop start 0) in the fifth slot.
    EXPECT_EQ(valuesOf(firstSample(), 6), (Values{4096, 0, 4096, 4096, 4096, 0}));
    XmSample wide = xmSample16({1, 2, 3, 4});
    wide.reservedByte = 0xAD;   // packed 16-bit data does not exist
    EXPECT_FALSE(loads(oneSampleModule(wide)));
}

TEST(Loader, LoopsAreNormalisedAndPadded) {
    struct Case {
        const char* what;
        bool wide;
        uint32_t loopStartBytes, loopLengthBytes;
        uint8_t type;
        uint32_t expectedStart, expectedLength;
        uint8_t expectedType;
        int32_t expectedPadFrame;   // frame the pad copies, -1 = pad 0
    };
    const uint32_t frames = 10;
    const Case cases[] = {
        {"forward", false, 2, 5, 1, 2, 5, 1, 2},
        {"ping-pong", false, 2, 5, 2, 2, 5, 2, 9},
        {"none keeps no points", false, 2, 5, 0, 0, 10, 0, -1},
        {"zero loop length", false, 4, 0, 1, 0, 10, 0, -1},
        {"type 3 is ping-pong", false, 2, 5, 3, 2, 5, 2, 9},
        {"16-bit odd bytes round down", true, 5, 11, 2, 2, 5, 2, 9},
        {"16-bit loop of one byte", true, 0, 1, 1, 0, 10, 0, -1},
        {"loop end past the data", false, 6, 100, 1, 6, 4, 1, 6},
        {"loop start at the end", false, 10, 4, 1, 0, 10, 0, -1},
        {"loop start far past", false, 0xFFFFFFF0, 0x20, 2, 0, 10, 0, -1},
        {"loop length wraps", false, 3, 0xFFFFFFFF, 1, 3, 7, 1, 3},
        {"type 3 past the data", false, 8, 9, 3, 8, 2, 2, 9},
    };
    for (const Case& c : cases) {
        std::vector<int32_t> values;
        for (uint32_t i = 0; i < frames; i++) values.push_back((int32_t)(i + 1) * 10);
        XmSample s = c.wide ? xmSample16(values) : xmSample8(values);
        s.loopType = c.type;
        s.loopStartBytes = c.loopStartBytes;
        s.loopLengthBytes = c.loopLengthBytes;
        ASSERT_TRUE(loads(oneSampleModule(s))) << c.what << ": " << moduleLoadError;
        const SampleRecord* r = firstSample();
        EXPECT_EQ((std::array<uint32_t, 4>{r->length, r->loopStart, r->loopLength, r->loopType}),
                  (std::array<uint32_t, 4>{frames, c.expectedStart, c.expectedLength, c.expectedType}))
            << c.what;
        int16_t pad = (int16_t)(c.expectedPadFrame < 0 ? 0 : (c.expectedPadFrame + 1) * 10 * (c.wide ? 1 : 256));
        EXPECT_EQ((Values{r->data[-1], r->data[frames], r->data[frames + 1], r->data[frames + 2]}),
                  (Values{0, pad, 0, 0}))
            << c.what;
    }
}

// ---- Damage ----------------------------------------------------------------

XmModule richModule() {
    XmModule m = moduleOf(5, {0, 1, 2, 1});
    XmPattern& a = m.addPattern(8);
    a.at(0, 0) = xmNote(49, 1, 0x40);
    a.at(3, 4) = xmCell(50, 2, 0x20, 0x0A, 0x0F);
    m.addPattern(4).storeEmpty = true;
    XmPattern& c = m.addPattern(16);
    c.packing = XmPacking::Plain;
    c.at(15, 2) = xmNote(97);
    std::vector<int32_t> ramp, wide;
    for (int i = 0; i < 300; i++) ramp.push_back((i * 7) % 200 - 100);
    for (int i = 0; i < 200; i++) wide.push_back(i * 300 - 30000);
    XmInstrument& i1 = m.addInstrument(xmSample8(ramp).loop(10, 200, LoopForward));
    i1.volumeEnvelope.points = {{0, 64}, {10, 40}, {40, 0}};
    i1.volumeEnvelope.flags = EnvelopeOn | EnvelopeSustain;
    XmInstrument& i2 = m.addInstrument(xmSample16(wide).loop(0, 150, LoopPingPong));
    i2.samples.push_back(xmSamplePacked({0, 1, 2, 3, 4, 5, 6, 7, -8, -7, -6, -5, -4, -3, -2, -1},
                                        std::vector<uint8_t>(99, 3)));
    return m;
}

// Walks everything the engine may touch, so the sanitizers see any bad pointer.
void touchEverything() {
    uint32_t sum = 0;
    for (uint32_t p = 0; p < song.patternSlotCount; p++) {
        const PatternSlot& slot = song.patternTable[p];
        for (uint32_t i = 0; slot.cells && i < (uint32_t)slot.rowCount * song.channelCount; i++)
            sum += slot.cells[i].note + slot.cells[i].effectParam;
    }
    for (uint32_t i = 0; i < song.instrumentCount; i++) {
        const InstrumentRecord& ins = song.instrumentTable[i];
        ASSERT_LE(ins.sampleCount, 16u);
        for (uint32_t k = 0; k < ins.sampleCount; k++) {
            const SampleRecord* s = ins.samples[k];
            ASSERT_LE((uint64_t)s->loopStart + s->loopLength, s->length);
            ASSERT_EQ(s->data[-1], 0);
            for (uint32_t f = 0; f < s->length + 3; f++) sum += (uint16_t)s->data[f];
        }
        for (uint8_t k = 1; k < ins.volumePointCount; k++) ASSERT_GT(ins.volumeEnvelope[k].x, ins.volumeEnvelope[k - 1].x);
        ASSERT_LE(ins.volumeLoopStart, ins.volumeLoopEnd);
        ASSERT_LE(ins.volumeSustain, ins.volumePointCount ? ins.volumePointCount - 1 : 0);
    }
    (void)sum;
}

TEST(Damage, EveryCutLoadsWithSilenceWhereDataIsMissing) {
    std::vector<uint8_t> full = writeXm(richModule());
    for (size_t cut = 0; cut <= full.size(); cut++) {
        std::vector<uint8_t> part(full.begin(), full.begin() + cut);
        int loaded = loadXmBytes(part);
        // Once the header's fields (80 bytes) are there, the rest reads as
        // nothing; a shorter block would pass for an empty song, so it fails.
        ASSERT_EQ(loaded != 0, cut >= 80) << "cut at " << cut << ": " << moduleLoadError;
        if (!loaded) continue;
        ASSERT_NO_FATAL_FAILURE(touchEverything()) << "cut at " << cut;
        if (cut < 336) continue;
        ASSERT_EQ(song.patternSlotCount, 3) << cut;
        ASSERT_EQ(song.instrumentCount, 2) << cut;
    }
    // Data cut short is silence, not the last value held.
    XmModule narrow;
    narrow.addInstrument(xmSample8({10, 20, 30, 40, 50, 60}));
    std::vector<uint8_t> bytes = writeXm(narrow);
    bytes.resize(bytes.size() - 3);
    ASSERT_TRUE(loadXmBytes(bytes)) << moduleLoadError;
    EXPECT_EQ(valuesOf(firstSample(), 6), (Values{10 * 256, 20 * 256, 30 * 256, 0, 0, 0}));
    XmModule m;
    XmInstrument& ins = m.addInstrument(xmSample16({1000, 2000, 3000}));
    std::vector<int8_t> table(16, 0);
    table[1] = 1;
    ins.samples.push_back(xmSamplePacked(table, {1, 1, 1, 1}));
    bytes = writeXm(m);
    bytes.resize(bytes.size() - 16 - 2 - 1);   // no packed data, half of the last 16-bit value
    ASSERT_TRUE(loadXmBytes(bytes)) << moduleLoadError;
    EXPECT_EQ(valuesOf(firstSample(), 3), (Values{1000, 2000, 0}));
    EXPECT_EQ(valuesOf(song.instrumentTable[0].samples[1], 4), (Values{0, 0, 0, 0}));
}

TEST(Damage, RandomBytesAndHeaderSizesNeverBreakTheModel) {
    const std::vector<uint8_t> base = writeXm(richModule());
    uint32_t state = 12345;
    auto next = [&state]() {
        state = state * 1103515245u + 12345u;
        return state >> 8;
    };
    for (int round = 0; round < 400; round++) {
        std::vector<uint8_t> bytes = base;
        int hits = 1 + next() % 8;
        for (int h = 0; h < hits; h++) bytes[4 + next() % (bytes.size() - 4)] = (uint8_t)next();
        if (loadXmBytes(bytes)) {
            ASSERT_NO_FATAL_FAILURE(touchEverything()) << "round " << round;
        }
    }
    for (uint32_t size : {0xFFFFFFFFu, 0x80000000u, 0u}) {   // instrument header sizes outside the file
        XmModule m = richModule();
        m.instruments[1].headerSize = size;
        if (loads(m)) {
            ASSERT_NO_FATAL_FAILURE(touchEverything()) << size;
        }
    }
    // A header size past the end: every pattern is read from the end and so is empty.
    XmModule m = richModule();
    m.headerSize = 0xFFFFFFFF;
    ASSERT_TRUE(loads(m)) << moduleLoadError;
    EXPECT_EQ(song.patternTable[0].rowCount, 0);
    EXPECT_EQ(song.instrumentTable[0].sampleCount, 0u);
}

TEST(Damage, WhatTheFileCannotHoldOrTheHeapCannotGiveIsRefused) {
    for (auto [lengthBytes, needs] : {std::pair{0xFFFFFFFFu, "8589934630"}, {0xFFFFFFFEu, "4294967334"},
                                      {1u << 30, "1073741864"}}) {
        XmModule m;
        XmSample s = lengthBytes & 1 ? xmSample8({1, 2}) : xmSample16({1, 2});
        s.lengthBytes = lengthBytes;
        m.addInstrument(s);
        EXPECT_FALSE(loads(m)) << lengthBytes;
        EXPECT_EQ(std::string(moduleLoadError),
                  std::string("a sample needs ") + needs + " bytes, more than a file of this size could describe");
    }
    XmModule m = moduleOf(32, {0});
    m.addPattern(0xFFFF).storeEmpty = true;   // 10 MiB of cells from 9 bytes of header
    ASSERT_TRUE(loads(m)) << moduleLoadError;
    EXPECT_EQ(song.patternTable[0].rowCount, 0xFFFF);
    for (int i = 0; i < 20; i++) m.patterns.push_back(m.patterns[0]);
    EXPECT_FALSE(loads(m));
    EXPECT_NE(std::strstr(moduleLoadError, "pattern"), nullptr) << moduleLoadError;

    const std::vector<uint8_t> rich = writeXm(richModule());
    setPlayerHeapLimit(2048);
    EXPECT_FALSE(loadXmBytes(rich));
    // Nothing points into the heap the caller now throws away.
    EXPECT_EQ(song.patternTable, nullptr);
    EXPECT_EQ(song.instrumentTable, nullptr);
    EXPECT_EQ(song.patternSlotCount + song.instrumentCount, 0);
    setPlayerHeapLimit(0);
    EXPECT_TRUE(loadXmBytes(rich)) << moduleLoadError;
    EXPECT_STREQ(moduleLoadError, "");   // no error left over from the refusal
}

}  // namespace
