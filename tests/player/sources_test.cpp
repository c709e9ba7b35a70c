// Byte sources (memory, resource, file) and the player heap.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "module.h"
#include "platform.h"
#include "sources.h"
#include "xm_writer.h"

namespace {

const uint8_t TenBytes[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};

void openMemory(const uint8_t* data, uint32_t size) {
    selectSource(SourceMemory, size);
    openSource(data);
}

TEST(MemorySource, ReadingTheLastBytesExactlyThenNothing) {
    openMemory(TenBytes, 10);
    uint8_t first[6] = {};
    readBytes(first, 6);
    uint8_t last[4] = {};
    readBytes(last, 4);
    EXPECT_EQ(std::vector<uint8_t>(last, last + 4), (std::vector<uint8_t>{7, 8, 9, 10}));
    uint8_t after[3] = {0xAA, 0xBB, 0xCC};
    readBytes(after, 3);
    EXPECT_EQ(std::vector<uint8_t>(after, after + 3), (std::vector<uint8_t>{0xAA, 0xBB, 0xCC}));
    EXPECT_EQ(seekBytes(0, 1), 10);
}

TEST(MemorySource, ShortReadCopiesWhatIsLeftAndAdvancesByTheFullCount) {
    openMemory(TenBytes, 10);
    EXPECT_EQ(seekBytes(6, 0), 6);
    uint8_t dest[10];
    std::memset(dest, 0xEE, sizeof dest);
    readBytes(dest, 10);
    EXPECT_EQ(std::vector<uint8_t>(dest, dest + 5), (std::vector<uint8_t>{7, 8, 9, 10, 0xEE}));
    // The position moved by 10 to 16; asking for it clamps to the size.
    EXPECT_EQ(seekBytes(0, 1), 10);
}

TEST(MemorySource, SeeksStayInsideTheBlock) {
    struct Case {
        int32_t start, offset, origin, expected;
    };
    const Case cases[] = {
        {0, 4, 0, 4},       {4, 3, 1, 7},        {0, 11, 0, 10},          {8, 5, 1, 10},
        {0, -1, 0, 0},      {3, -4, 1, 0},       {5, -5, 1, 0},           {0, INT32_MAX, 0, 10},
        {9, INT32_MAX, 1, 10}, {2, INT32_MIN, 1, 0},
    };
    for (const Case& c : cases) {
        openMemory(TenBytes, 10);
        seekBytes(c.start, 0);
        EXPECT_EQ(seekBytes(c.offset, c.origin), c.expected) << c.start << " " << c.offset;
        uint8_t b = 0xEE;
        readBytes(&b, 1);
        EXPECT_EQ(b, c.expected < 10 ? TenBytes[c.expected] : 0xEE);
    }
}

TEST(MemorySource, NegativeAndHugeCountsReadNothing) {
    openMemory(TenBytes, 10);
    uint8_t dest[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    readBytes(dest, -3);
    readBytes(dest, 0);
    EXPECT_EQ(dest[0], 0xEE);
    EXPECT_EQ(seekBytes(0, 1), 0);
    seekBytes(9, 0);
    readBytes(dest, 1);   // reads the last byte
    EXPECT_EQ(dest[0], 10);
}

TEST(MemorySource, ShorterThanTheHeaderFillsOnlyItsOwnLength) {
    createPlayerHeap();
    const uint8_t shortModule[] = {'E', 'x', 't', 'e', 'n', 'd'};
    std::memset(moduleHeader, 0x55, sizeof moduleHeader);
    loadModuleFromSource(SourceMemory, shortModule, sizeof shortModule);
    EXPECT_EQ(0, std::memcmp(moduleHeader, shortModule, sizeof shortModule));
    for (uint32_t i = sizeof shortModule; i < ModuleHeaderSize; i++) ASSERT_EQ(moduleHeader[i], 0) << i;
    destroyPlayerHeap();
}

TEST(ResourceSource, FindsRegisteredBlobsByName) {
    static const uint8_t blob[] = {'a', 'b', 'c', 'd', 'e'};
    ASSERT_TRUE(platformRegisterResource("test-blob", blob, sizeof blob));
    selectSource(SourceResource, 0);
    EXPECT_EQ(openSource("test-blob"), (uintptr_t)blob);
    EXPECT_EQ(sourceLength(), 5);
    uint8_t dest[8] = {};
    readBytes(dest, 8);
    EXPECT_EQ(std::string((char*)dest), "abcde");
    EXPECT_EQ(seekBytes(-2, 1), 5);   // the short read moved to 8: 6 clamps to 5
    EXPECT_EQ(seekBytes(-2, 1), 3);
    EXPECT_EQ(seekBytes(100, 0), 5);

    selectSource(-7, 0);   // any kind <= 0 is a resource
    EXPECT_EQ(openSource("no-such-blob"), 0u);
    EXPECT_EQ(sourceLength(), 0);
    uint8_t untouched = 0xEE;
    readBytes(&untouched, 1);
    EXPECT_EQ(untouched, 0xEE);
    EXPECT_EQ(openSource((const char*)(uintptr_t)101), 0u);   // numeric ids are not in the table
}

struct TempFile {
    std::string path;
    explicit TempFile(const std::vector<uint8_t>& bytes) {
        char name[] = "/tmp/xmsourceXXXXXX";
        int fd = mkstemp(name);
        path = name;
        FILE* f = fdopen(fd, "wb");
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    ~TempFile() { std::remove(path.c_str()); }
};

TEST(FileSource, ReadsSeeksAndClampsLikeMemory) {
    TempFile file(std::vector<uint8_t>(TenBytes, TenBytes + 10));
    selectSource(SourceFile, 12345);
    uintptr_t handle = openSource(file.path.c_str());
    ASSERT_NE(handle, 0u);
    EXPECT_EQ(sourceLength(), 10);
    uint8_t dest[4] = {};
    readBytes(dest, 4);
    EXPECT_EQ(dest[3], 4);
    EXPECT_EQ(seekBytes(0, 1), 4);
    EXPECT_EQ(seekBytes(-10, 1), 0);
    EXPECT_EQ(seekBytes(-1, 0), 0);
    EXPECT_EQ(seekBytes(50, 0), 10);
    EXPECT_EQ(seekBytes(8, 0), 8);
    uint8_t tail[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    readBytes(tail, 4);
    EXPECT_EQ(std::vector<uint8_t>(tail, tail + 4), (std::vector<uint8_t>{9, 10, 0xEE, 0xEE}));
    closeSource(handle);
}

TEST(FileSource, MissingFileReadsNothing) {
    selectSource(SourceFile, 0);
    EXPECT_EQ(openSource("/nonexistent/dir/file.xm"), 0u);
    uint8_t b = 0xEE;
    readBytes(&b, 1);
    EXPECT_EQ(b, 0xEE);
    EXPECT_EQ(seekBytes(5, 0), 0);
    closeSource(0);
}

TEST(SourceKinds, TheSameModuleLoadsFromEachKind) {
    XmModule m;
    m.title = "kinds";
    m.channels = 3;
    m.orders = {0, 2};
    m.addPattern(2).at(1, 2) = xmNote(50, 1);
    m.addInstrument(xmSample16({10, 20, 30}).loop(1, 2, LoopPingPong));
    static std::vector<uint8_t> bytes;   // stays registered as a resource
    bytes = writeXm(m);
    TempFile file(bytes);
    ASSERT_TRUE(platformRegisterResource("kinds-tune", bytes.data(), (uint32_t)bytes.size()));
    struct Case {
        int32_t kind;
        const void* source;
        uint32_t length;
    };
    const Case cases[] = {
        {SourceMemory, bytes.data(), (uint32_t)bytes.size()},
        {SourceResource, "kinds-tune", 0},
        {SourceFile, file.path.c_str(), 0},
        {7, file.path.c_str(), 99},
    };
    for (const Case& c : cases) {
        createPlayerHeap();
        ASSERT_TRUE(loadModuleFromSource(c.kind, c.source, c.length)) << c.kind << ": " << moduleLoadError;
        EXPECT_STREQ(songTitle, "kinds");
        EXPECT_EQ(song.patternSlotCount, 3);
        EXPECT_EQ(song.patternTable[0].cells[1 * 3 + 2].note, 50);
        const SampleRecord* s = song.instrumentTable[0].samples[0];
        EXPECT_EQ(std::vector<int16_t>(s->data, s->data + 4), (std::vector<int16_t>{10, 20, 30, 30}));
        destroyPlayerHeap();
    }
}

TEST(PlayerHeap, BlocksAreZeroedDistinctAndOnlyExistWithAHeap) {
    destroyPlayerHeap();
    EXPECT_EQ(allocZeroed(16), nullptr);
    ASSERT_TRUE(createPlayerHeap());
    std::vector<uint8_t*> blocks;
    const size_t sizes[] = {0, 1, 7, 16, 100, 4096, 70000, 300000, 3, 5000000};
    for (size_t size : sizes) {
        uint8_t* block = (uint8_t*)allocZeroed(size);
        ASSERT_NE(block, nullptr) << size;
        EXPECT_EQ((uintptr_t)block % alignof(void*), 0u);
        for (size_t i = 0; i < size; i++) ASSERT_EQ(block[i], 0) << size << " at " << i;
        std::memset(block, 0xFF, size);   // must not spill into the next block
        blocks.push_back(block);
    }
    for (size_t i = 0; i + 1 < blocks.size(); i++) EXPECT_NE(blocks[i], blocks[i + 1]);
    destroyPlayerHeap();
    EXPECT_EQ(allocZeroed(16), nullptr);
}

TEST(PlayerHeap, LimitMakesAllocationFail) {
    setPlayerHeapLimit(1024);
    createPlayerHeap();
    EXPECT_NE(allocZeroed(512), nullptr);
    EXPECT_EQ(allocZeroed(1024), nullptr);
    EXPECT_NE(allocZeroed(256), nullptr);
    EXPECT_EQ(allocZeroed(SIZE_MAX), nullptr);
    setPlayerHeapLimit(0);
    EXPECT_NE(allocZeroed(4096), nullptr);
    destroyPlayerHeap();
}

}  // namespace
