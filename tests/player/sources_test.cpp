// Byte sources (memory, resource, file) and the player heap.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "introplayer.h"
#include "module.h"
#include "platform.h"
#include "sources.h"
#include "xm_writer.h"

using namespace introplayer;

namespace {

const uint8_t TenBytes[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};

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

// Memory and file sources over the same ten bytes: reads past the end copy
// what is left, seeks clamp to the block, and the position moves by the
// full count asked for.
TEST(ByteSources, ReadsAndSeeksStayInsideTheBlock) {
    struct Op {
        int32_t seek, origin;   // origin -1: no seek
        int32_t expectedPos;
        int32_t count;
        std::vector<uint8_t> expectedBytes;   // 0xEE: left untouched
    };
    const std::vector<Op> script = {
        {0, -1, 0, 6, {1, 2, 3, 4, 5, 6}},
        {0, -1, 6, 4, {7, 8, 9, 10}},            // the last bytes exactly
        {0, 1, 10, 3, {0xEE, 0xEE, 0xEE}},        // then nothing
        {6, 0, 6, 10, {7, 8, 9, 10, 0xEE}},      // a short read copies what is left
        {0, 1, 10, 0, {}},                       // ... and moved to 16, which clamps
        {0, 0, 0, -3, {0xEE}},                   // negative and zero counts read nothing
        {0, 1, 0, 0, {0xEE}},
        {4, 0, 4, 1, {5}},     {3, 1, 8, 1, {9}},  {11, 0, 10, 1, {0xEE}},  {5, 1, 10, 1, {0xEE}},
        {-1, 0, 0, 1, {1}},    {-4, 1, 0, 1, {1}}, {-1, 1, 0, 1, {1}},      {INT32_MAX, 0, 10, 1, {0xEE}},
        {INT32_MAX, 1, 10, 0, {}}, {2, 0, 2, 0, {}}, {INT32_MIN, 1, 0, 1, {1}}, {9, 0, 9, 1, {10}},
    };
    TempFile file(std::vector<uint8_t>(TenBytes, TenBytes + 10));
    for (int32_t kind : {SourceMemory, SourceFile}) {
        selectSource(kind, kind == SourceMemory ? 10 : 12345);
        uintptr_t handle = openSource(kind == SourceMemory ? (const void*)TenBytes : file.path.c_str());
        ASSERT_TRUE(kind == SourceMemory || handle != 0u);
        EXPECT_EQ(sourceLength(), 10);
        for (size_t i = 0; i < script.size(); i++) {
            const Op& op = script[i];
            if (op.origin >= 0) EXPECT_EQ(seekBytes(op.seek, op.origin), op.expectedPos) << kind << " step " << i;
            else EXPECT_EQ(seekBytes(0, 1), op.expectedPos) << kind << " step " << i;
            std::vector<uint8_t> dest(std::max<size_t>(op.expectedBytes.size(), std::max(op.count, 0)), 0xEE);
            readBytes(dest.data(), op.count);
            dest.resize(op.expectedBytes.size());
            EXPECT_EQ(dest, op.expectedBytes) << kind << " step " << i;
        }
        if (kind == SourceFile) closeSource(handle);
    }
}

TEST(ByteSources, ResourcesByNameAndMissingSources) {
    static const uint8_t blob[] = {'a', 'b', 'c', 'd', 'e'};
    ASSERT_TRUE(platformRegisterResource("test-blob", TenBytes, 10));
    ASSERT_TRUE(platformRegisterResource("TEST-blob", blob, sizeof blob));   // replaces it
    selectSource(SourceResource, 0);
    EXPECT_EQ(openSource("test-blob"), (uintptr_t)blob);
    EXPECT_EQ(sourceLength(), 5);   // reads and seeks are the memory kind's
    EXPECT_EQ(openSource((const char*)(uintptr_t)101), 0u);   // numeric ids are not in the table
    for (auto [kind, name] : {std::pair{SourceResource, "no-such-blob"}, {SourceFile, "/nonexistent/dir/file.xm"}}) {
        selectSource(kind, 0);
        EXPECT_EQ(openSource(name), 0u) << kind;
        uint8_t untouched = 0xEE;
        readBytes(&untouched, 1);
        EXPECT_EQ(untouched, 0xEE) << kind;
        EXPECT_EQ(seekBytes(5, 0), 0) << kind;
    }
    closeSource(0);
}

TEST(ByteSources, TheSameModuleLoadsFromEachKind) {
    XmModule m;
    m.title = "kinds";
    m.addInstrument(xmSample16({10, 20, 30}).loop(1, 2, LoopPingPong));
    static std::vector<uint8_t> bytes;   // stays registered as a resource
    bytes = writeXm(m);
    TempFile file(bytes);
    ASSERT_TRUE(registerModuleResource("kinds-az", bytes.data(), (uint32_t)bytes.size()));
    const std::tuple<int32_t, const void*, uint32_t> cases[] = {
        {SourceMemory, bytes.data(), (uint32_t)bytes.size()},
        {SourceResource, "KINDS-az", 0},   // names match in any case, as on Windows
        {SourceFile, file.path.c_str(), 99},   // a file's length plays no part
    };
    for (auto [kind, source, length] : cases) {
        createPlayerHeap();
        ASSERT_TRUE(loadModuleFromSource(kind, source, length)) << kind << ": " << moduleLoadError;
        EXPECT_STREQ(songTitle, "kinds");
        const SampleRecord* s = song.instrumentTable[0].samples[0];
        EXPECT_EQ(std::vector<int16_t>(s->data, s->data + 4), (std::vector<int16_t>{10, 20, 30, 30}));
        destroyPlayerHeap();
    }
}

TEST(PlayerHeap, BlocksAreZeroedDistinctWithinTheLimitAndOnlyWithAHeap) {
    destroyPlayerHeap();
    EXPECT_EQ(allocZeroed(16), nullptr);
    ASSERT_TRUE(createPlayerHeap());
    std::vector<uint8_t*> blocks;
    for (size_t size : {0, 1, 7, 16, 100, 4096, 70000, 300000, 3, 5000000}) {
        uint8_t* block = (uint8_t*)allocZeroed(size);
        ASSERT_NE(block, nullptr) << size;
        EXPECT_EQ((uintptr_t)block % alignof(void*), 0u);
        for (size_t i = 0; i < size; i++) ASSERT_EQ(block[i], 0) << size << " at " << i;
        std::memset(block, 0xFF, size);   // must not spill into the next block
        blocks.push_back(block);
    }
    for (size_t i = 0; i + 1 < blocks.size(); i++) EXPECT_NE(blocks[i], blocks[i + 1]);
    destroyPlayerHeap();
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
