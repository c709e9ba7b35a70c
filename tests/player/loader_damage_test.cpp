// Damaged and truncated modules: the loader either repairs them or refuses
// them cleanly, and never reads or allocates past what the file could hold.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "module.h"
#include "sources.h"
#include "xm_writer.h"

namespace {

XmModule richModule() {
    XmModule m;
    m.title = "rich";
    m.channels = 5;
    m.orders = {0, 1, 2, 1};
    XmPattern& a = m.addPattern(8);
    a.at(0, 0) = xmNote(49, 1, 0x40);
    a.at(3, 4) = xmCell(50, 2, 0x20, 0x0A, 0x0F);
    XmPattern& b = m.addPattern(4);
    b.storeEmpty = true;
    XmPattern& c = m.addPattern(16);
    c.packing = XmPacking::Plain;
    c.at(15, 2) = xmNote(97);
    std::vector<int32_t> ramp;
    for (int i = 0; i < 300; i++) ramp.push_back((i * 7) % 200 - 100);
    XmInstrument& i1 = m.addInstrument(xmSample8(ramp).loop(10, 200, LoopForward));
    i1.volumeEnvelope.points = {{0, 64}, {10, 40}, {40, 0}};
    i1.volumeEnvelope.flags = EnvelopeOn | EnvelopeSustain;
    i1.volumeEnvelope.sustain = 1;
    std::vector<int32_t> wide;
    for (int i = 0; i < 200; i++) wide.push_back(i * 300 - 30000);
    XmInstrument& i2 = m.addInstrument(xmSample16(wide).loop(0, 150, LoopPingPong));
    std::vector<uint8_t> nibbles(99, 3);
    i2.samples.push_back(xmSamplePacked({0, 1, 2, 3, 4, 5, 6, 7, -8, -7, -6, -5, -4, -3, -2, -1}, nibbles));
    return m;
}

// Walks everything the engine may touch, so the sanitizers see any bad pointer.
void touchEverything() {
    uint32_t sum = 0;
    for (uint32_t p = 0; p < song.patternSlotCount; p++) {
        const PatternSlot& slot = song.patternTable[p];
        if (slot.cells == nullptr) continue;
        for (uint32_t i = 0; i < (uint32_t)slot.rowCount * song.channelCount; i++) {
            sum += slot.cells[i].note + slot.cells[i].effectParam;
        }
    }
    for (uint32_t i = 0; i < song.instrumentCount; i++) {
        const InstrumentRecord& ins = song.instrumentTable[i];
        ASSERT_LE(ins.sampleCount, 16u);
        for (uint32_t k = 0; k < ins.sampleCount; k++) {
            const SampleRecord* s = ins.samples[k];
            ASSERT_NE(s, nullptr);
            ASSERT_LE((uint64_t)s->loopStart + s->loopLength, s->length);
            ASSERT_EQ(s->data[-1], 0);
            for (uint32_t f = 0; f < s->length + 3; f++) sum += (uint16_t)s->data[f];
        }
    }
    (void)sum;
}

TEST(Truncation, EveryCutLoadsWithSilenceWhereDataIsMissing) {
    std::vector<uint8_t> full = writeXm(richModule());
    ASSERT_TRUE(loadXmBytes(full)) << moduleLoadError;
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
}

TEST(Truncation, MissingSampleDataIsSilentNotHeld) {
    XmModule m;
    m.addInstrument(xmSample8({10, 20, 30, 40, 50, 60}));
    std::vector<uint8_t> bytes = writeXm(m);
    bytes.resize(bytes.size() - 3);   // the last three deltas are gone
    ASSERT_TRUE(loadXmBytes(bytes)) << moduleLoadError;
    const SampleRecord* s = song.instrumentTable[0].samples[0];
    EXPECT_EQ(s->length, 6u);
    EXPECT_EQ(std::vector<int16_t>(s->data, s->data + 6),
              (std::vector<int16_t>{10 * 256, 20 * 256, 30 * 256, 0, 0, 0}));
}

TEST(Truncation, MissingPackedAndWideDataIsSilent) {
    XmModule m;
    XmInstrument& ins = m.addInstrument(xmSample16({1000, 2000, 3000}));
    std::vector<int8_t> table(16, 0);
    table[1] = 1;
    ins.samples.push_back(xmSamplePacked(table, {1, 1, 1, 1}));
    std::vector<uint8_t> bytes = writeXm(m);
    // Keep 16-bit values 1 and 2 and half of the third, and none of the packed data.
    bytes.resize(bytes.size() - 16 - 2 - 1);
    ASSERT_TRUE(loadXmBytes(bytes)) << moduleLoadError;
    const SampleRecord* wide = song.instrumentTable[0].samples[0];
    EXPECT_EQ(std::vector<int16_t>(wide->data, wide->data + 3), (std::vector<int16_t>{1000, 2000, 0}));
    const SampleRecord* packed = song.instrumentTable[0].samples[1];
    EXPECT_EQ(std::vector<int16_t>(packed->data, packed->data + 4), (std::vector<int16_t>{0, 0, 0, 0}));
}

// Writes a 32-bit value into a module image.
void poke32(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
    for (int i = 0; i < 4; i++) bytes.at(at + i) = (uint8_t)(value >> (8 * i));
}

TEST(Refusal, HeadersDeclaringMoreThanTheFileCouldHoldAreRefused) {
    struct Case {
        const char* what;
        uint32_t lengthBytes;
        bool wide;
    };
    const Case cases[] = {
        {"4 GiB 8-bit sample", 0xFFFFFFFF, false},
        {"2 GiB 16-bit sample", 0xFFFFFFFE, true},
        {"1 GiB sample", 1u << 30, false},
    };
    for (const Case& c : cases) {
        XmModule m;
        XmSample s = c.wide ? xmSample16({1, 2}) : xmSample8({1, 2});
        s.lengthBytes = c.lengthBytes;
        m.addInstrument(s);
        EXPECT_FALSE(loadXmBytes(writeXm(m))) << c.what;
        EXPECT_NE(std::strstr(moduleLoadError, "sample"), nullptr) << moduleLoadError;
    }
}

TEST(Refusal, ManyHugeEmptyPatternsAreRefusedButOneLoads) {
    XmModule m;
    m.channels = 32;
    m.orders = {0};
    XmPattern& p = m.addPattern(0xFFFF);   // 10 MiB of cells from 9 bytes of header
    p.storeEmpty = true;
    ASSERT_TRUE(loadXmBytes(writeXm(m))) << moduleLoadError;
    EXPECT_EQ(song.patternTable[0].rowCount, 0xFFFF);
    for (int i = 0; i < 20; i++) m.patterns.push_back(m.patterns[0]);
    EXPECT_FALSE(loadXmBytes(writeXm(m)));
    EXPECT_NE(std::strstr(moduleLoadError, "pattern"), nullptr) << moduleLoadError;
}

TEST(Refusal, AllocationFailureFailsTheLoad) {
    std::vector<uint8_t> bytes = writeXm(richModule());
    setPlayerHeapLimit(2048);
    EXPECT_FALSE(loadXmBytes(bytes));
    // Nothing points into the heap the caller now throws away.
    EXPECT_EQ(song.patternTable, nullptr);
    EXPECT_EQ(song.instrumentTable, nullptr);
    EXPECT_EQ(song.patternSlotCount, 0);
    EXPECT_EQ(song.instrumentCount, 0);
    setPlayerHeapLimit(0);
    EXPECT_TRUE(loadXmBytes(bytes)) << moduleLoadError;
}

TEST(Refusal, NotAModule) {
    const std::vector<uint8_t> cases[] = {{}, {'E', 'x', 't'}, {'e', 'x', 't', 'e', 'n'}, std::vector<uint8_t>(400, 0),
                                          {'E', 'x', 't', 'e', 'n', 'd', 'e', 'd'}};
    for (const std::vector<uint8_t>& bytes : cases) {
        EXPECT_FALSE(loadXmBytes(bytes));
        EXPECT_STRNE(moduleLoadError, "");
    }
}

TEST(Seeks, HeaderSizesPointingOutsideTheFileLandAtTheEnd) {
    struct Case {
        const char* what;
        size_t at;   // offset of a 32-bit size field in the image
        uint32_t value;
    };
    std::vector<uint8_t> base = writeXm(richModule());
    size_t firstInstrument = 0;
    {
        // Find the first instrument header: it starts with 263 and the name is empty.
        ASSERT_TRUE(loadXmBytes(base));
        for (size_t i = 336; i + 4 < base.size(); i++) {
            if (base[i] == 7 && base[i + 1] == 1 && base[i + 2] == 0 && base[i + 3] == 0 && base[i + 29] == 40) {
                firstInstrument = i;
                break;
            }
        }
        ASSERT_NE(firstInstrument, 0u);
    }
    const Case cases[] = {
        {"module header size 2^32 - 1", 60, 0xFFFFFFFF},
        {"module header size 2^31 - 60", 60, 0x7FFFFFC4},
        {"module header size 2^31", 60, 0x80000000},
        {"module header size 0", 60, 0},
        {"instrument header size 2^32 - 1", firstInstrument, 0xFFFFFFFF},
        {"instrument header size 2^31", firstInstrument, 0x80000000},
        {"instrument header size 0", firstInstrument, 0},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes = base;
        poke32(bytes, c.at, c.value);
        int loaded = loadXmBytes(bytes);
        if (loaded) {
            ASSERT_NO_FATAL_FAILURE(touchEverything()) << c.what;
        }
    }
    // A header size past the end: every pattern is read from the end and so is empty.
    std::vector<uint8_t> bytes = base;
    poke32(bytes, 60, 0xFFFFFFFF);
    ASSERT_TRUE(loadXmBytes(bytes)) << moduleLoadError;
    EXPECT_EQ(song.patternTable[0].rowCount, 0);
    EXPECT_EQ(song.instrumentTable[0].sampleCount, 0u);
}

TEST(Seeks, RandomByteDamageNeverBreaksTheModel) {
    std::vector<uint8_t> base = writeXm(richModule());
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
}

}  // namespace
