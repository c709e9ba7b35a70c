// The player on the real Windows API: a module started from an RT_RCDATA
// resource of this executable, from a block of memory and from a file plays
// through waveOut (its song time and levels advance on the refill thread)
// and stops cleanly; sources that are not there fail without leaving the
// device open. Run under Wine with a sound device of any kind.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "introplayer.h"
#include "sources.h"

using namespace introplayer;

namespace {

// The tune's bytes straight from the resource section, without the player.
struct TuneBytes {
    const uint8_t* data;
    uint32_t size;
};

TuneBytes tuneResource() {
    HMODULE self = GetModuleHandleA(nullptr);
    HRSRC found = FindResourceA(self, "TUNE", MAKEINTRESOURCEA(10));   // RT_RCDATA
    if (found == nullptr) return {nullptr, 0};
    return {static_cast<const uint8_t*>(LockResource(LoadResource(self, found))), SizeofResource(self, found)};
}

// The 20 title bytes of the XM header (after "Extended Module: ").
std::string headerTitle(const TuneBytes& tune) { return std::string(reinterpret_cast<const char*>(tune.data) + 17, 20); }

// Waits up to 5 s for the song time to pass 500 ms; notes whether any block
// had a level above silence on the way.
void expectPlaying(const char* what) {
    uint32_t levels = 0;
    uint32_t time = 0;
    for (int i = 0; i < 500 && time <= 500; i++) {
        Sleep(10);
        time = getPlayTime();
        levels |= getLevels();
    }
    EXPECT_GT(time, 500u) << what << ": the song time did not advance";
    EXPECT_NE(levels, 0u) << what << ": every block was silent";
}

void expectStopped() {
    EXPECT_EQ(stopPlayback(), 0);
    EXPECT_STREQ(getSongTitle(), "");
    EXPECT_EQ(getLevels(), 0u);
    EXPECT_EQ(getPlayTime(), 0u);
}

// One way to start the player: playModule's arguments.
struct SourceCase {
    const char* what;
    const void* source;
    uint32_t length;
    int32_t kind;
};

class WindowsSources : public ::testing::Test {
protected:
    void SetUp() override {
        tune = tuneResource();
        ASSERT_NE(tune.data, nullptr) << "the TUNE resource is missing";
        ASSERT_GT(tune.size, 336u);
    }
    void TearDown() override { stopPlayback(); }
    TuneBytes tune{};
};

TEST_F(WindowsSources, ResourceMemoryAndFilePlay) {
    char folder[MAX_PATH], path[MAX_PATH];
    ASSERT_NE(GetTempPathA(MAX_PATH, folder), 0u);
    ASSERT_NE(GetTempFileNameA(folder, "xm", 0, path), 0u);
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    const BOOL wrote = WriteFile(file, tune.data, tune.size, &written, nullptr);
    CloseHandle(file);
    ASSERT_TRUE(wrote && written == tune.size);
    // The program's own handle fits in the length on 32-bit Windows only.
    const uintptr_t self = uintptr_t(GetModuleHandleA(nullptr));
    const SourceCase cases[] = {
        {"resource of the program (0)", "TUNE", 0, SourceResource},
        {"resource by module handle", "TUNE", uint32_t(self), SourceResource},
        {"memory", tune.data, tune.size, SourceMemory},
        {"file", path, 0, SourceFile},
    };
    for (const auto& c : cases) {
        if (c.length != 0 && c.kind == SourceResource && c.length != self) continue;
        ASSERT_NE(playModule(c.source, c.length, c.kind), nullptr) << c.what;
        EXPECT_EQ(std::string(getSongTitle()), headerTitle(tune)) << c.what;
        expectPlaying(c.what);
        expectStopped();
    }
    DeleteFileA(path);
}

TEST_F(WindowsSources, MissingSourcesFailAndLeaveTheDeviceFree) {
    // Cut to 32 bits, a 64-bit handle points at no module; where it fits,
    // the image's second page is inside the program but not its handle.
    const uintptr_t self = uintptr_t(GetModuleHandleA(nullptr));
    const uint32_t notAModule = uint32_t(self) == self ? uint32_t(self) + 0x1000 : uint32_t(self);
    const SourceCase cases[] = {
        {"unknown resource", "NOSUCHTUNE", 0, SourceResource},
        {"not a module handle", "TUNE", notAModule, SourceResource},
        {"missing file", "Z:\\no\\such\\folder\\tune.xm", 0, SourceFile},
        {"not a module", "Not an XM module", 16, SourceMemory},
    };
    for (const SourceCase& c : cases) {
        EXPECT_EQ(playModule(c.source, c.length, c.kind), nullptr) << c.what;
        EXPECT_STRNE(getLoadError(), "") << c.what;
        // The device was closed again: the next start opens it.
        ASSERT_NE(playModule(tune.data, tune.size, SourceMemory), nullptr) << "after " << c.what;
        stopPlayback();
    }
}

}  // namespace
