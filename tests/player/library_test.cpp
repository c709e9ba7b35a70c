// The player as a program uses it, through its header alone: the misuse real
// programs make, and globals of the program's own named as the player's
// internals (this file links only because the library keeps those to itself).
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <thread>
#include <vector>

#include "introplayer.h"
#include "xmwriter.h"

int channels = 11;
double song = 22.5;
char voices[8] = "voices";
char songTitle[64] = "the program's own";

namespace {

std::vector<uint8_t> loopingTone(const char* title) {
    XmModule m;
    m.title = title;
    m.orders = {0};
    m.addPattern(16).at(0, 0) = xmNote(49, 1);
    m.addInstrument().samples.push_back(xmSample8(std::vector<int32_t>(32, 100)).loop(0, 32, 1));
    return writeXm(m);
}

int32_t open(const std::vector<uint8_t>& bytes) {
    return renderOpen(bytes.data(), (uint32_t)bytes.size(), PlayerSourceMemory);
}

TEST(LibraryPromises, EndedSongsReadOutsKindsAndTheTitleAcrossThreads) {
    const std::vector<uint8_t> tone = loopingTone("library test");
    std::vector<int16_t> frames(2 * 44100);
    // Whichever call ends the song, every call after it sees nothing loaded.
    for (auto end : {+[] { stopPlayback(); }, +[] { playModule(nullptr, 0, 0); }, +[] { renderClose(); }}) {
        ASSERT_EQ(open(tone), 1);
        EXPECT_EQ(getPlayTime() | getLevels(), 0u) << "before the first frame";
        EXPECT_EQ(renderFrames(frames.data(), 44100), 44100u);
        EXPECT_NEAR(getPlayTime(), 1000, 30);
        EXPECT_NE(getLevels(), 0u);
        EXPECT_EQ(renderFrames(nullptr, 2 * 44100), 2u * 44100);   // a skip mixes nothing
        EXPECT_NEAR(getPlayTime(), 3000, 60);   // the song clock drops fractions of a ms
        EXPECT_EQ(getLevels(), 0u);
        end();
        PlayerSongInfo info;
        EXPECT_EQ(renderFrames(frames.data(), 1024) + renderCameBack() + getSongInfo(&info), 0u);
        EXPECT_STREQ(getSongTitle(), "");
    }
    for (int32_t kind : {3, -1, INT32_MIN, INT32_MAX}) {
        EXPECT_EQ(renderOpen(tone.data(), (uint32_t)tone.size(), kind), 0) << kind;
        EXPECT_NE(std::string(getLoadError()).find("unknown source kind"), std::string::npos) << kind;
    }
    // A thread reading the title while the next song loads (under
    // ThreadSanitizer too) sees one whole title or the other.
    ASSERT_EQ(open(tone), 1);
    std::thread reader([] {
        std::string seen;
        for (int i = 0; i < 10000000 && seen != "second"; ++i) {
            seen = getSongTitle();
            ASSERT_TRUE(seen == "library test" || seen.empty() || seen == "second") << seen;
        }
    });
    EXPECT_EQ(open(loopingTone("second")), 1);
    reader.join();
    renderClose();
    EXPECT_EQ(channels + song, 33.5);
    EXPECT_EQ(std::string(voices) + songTitle, "voicesthe program's own");
}

}  // namespace
