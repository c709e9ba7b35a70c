// xmtool as a user runs it: what info prints, how long render's song-once
// output lasts and that it holds the player's samples, that render's start,
// mute and solo sound like an edited copy of the song, and one error line
// with the right exit code for bad input.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "xm_writer.h"

namespace {

struct ToolRun {
    int exitCode;
    std::string out;
    std::string err;
};

// One folder for the whole run, removed when the run ends.
std::string tempDir() {
    static char pattern[] = "/tmp/xmtool_test_XXXXXX";
    static const std::string dir = [] {
        if (!mkdtemp(pattern)) return std::string("/tmp");
        std::atexit([] { std::system((std::string("rm -rf ") + pattern).c_str()); });
        return std::string(pattern);
    }();
    return dir;
}

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

ToolRun xmtool(const std::string& args) {
    const std::string out = tempDir() + "/stdout", err = tempDir() + "/stderr";
    const int raw = std::system((std::string(XMTOOL_PATH) + " " + args + " >" + out + " 2>" + err).c_str());
    return ToolRun{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, slurp(out), slurp(err)};
}

std::string writeModule(const std::string& name, const XmModule& m) {
    const std::string path = tempDir() + "/" + name;
    EXPECT_TRUE(writeXmFile(path, m));
    return path;
}

// Patterns of 16 rows at speed 6, each starting a looped sine a semitone
// above the one before.
XmModule song16(uint16_t patterns = 1) {
    XmModule m;
    m.channels = 2;
    for (uint16_t p = 0; p < patterns; ++p) {
        m.orders.push_back(static_cast<uint8_t>(p));
        m.addPattern(16).at(0, 0) = xmNote(static_cast<uint8_t>(49 + p), 1);
    }
    std::vector<int32_t> sine;
    for (int i = 0; i < 32; ++i) sine.push_back(int32_t(80 * std::sin(i * M_PI / 16)));
    m.addInstrument(xmSample8(sine).loop(0, 32, 1));
    return m;
}

uint32_t dataFrames(const std::string& wav) {
    const auto* b = reinterpret_cast<const uint8_t*>(wav.data());
    return wav.size() < 44 ? 0 : (b[40] | b[41] << 8 | b[42] << 16 | uint32_t(b[43]) << 24) / 4;
}

TEST(Xmtool, InfoPrintsTheHeaderFactsAsLoaded) {
    XmModule full;
    full.titleBytes = std::vector<uint8_t>{'M', 'y', 0x01, ' ', 'T', 'u', 'n', 'e', 0xFF};
    full.channels = 16;
    full.speed = 4;
    full.restart = 2;
    full.orders = {0, 1, 2, 3, 4, 5, 6, 9};   // names pattern 9: 10 slots
    for (int p = 0; p < 7; p++) full.addPattern(64);
    for (int i = 0; i < 3; i++) full.addInstrument(xmSample8({i, -i}));
    full.instruments[1].samples.push_back(xmSample16({1, 2}));
    full.instruments[1].name = "Bass\x01 line";
    const ToolRun run = xmtool("info " + writeModule("info.xm", full));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");
    // 8 orders of 64 rows at 4 ticks of 882 frames, then back at order 2.
    EXPECT_EQ(run.out, "title: My Tune\nchannels: 16\npatterns: 10\ninstruments: 3\nsamples: 4\n"
                       "frequency table: linear\nspeed: 4\ntempo: 125\nsong length: 8\nrestart: 2\n"
                       "duration: 0:40.960\ninstrument 1:\ninstrument 2: Bass line\ninstrument 3:\n");
}

TEST(Xmtool, RenderPlaysTheSongOnceToWhereItComesBack) {
    const struct { const char* name; std::function<XmModule()> make; uint32_t rows; } cases[] = {
        {"plain.xm", [] { return song16(); }, 16},
        {"jump_back.xm", [] { XmModule m = song16(); m.patterns[0].at(7, 1) = xmEffect(0xB, 0); return m; }, 8},
        {"restart.xm", [] { XmModule m = song16(3); m.restart = 1; return m; }, 48},
        // The loop plays rows 2..5 three times; that is not the song coming back.
        {"loop.xm", [] {
             XmModule m = song16();
             m.patterns[0].at(2, 1) = xmEffect(0xE, 0x60);
             m.patterns[0].at(5, 1) = xmEffect(0xE, 0x62);
             return m;
         }, 24},
        // After it, E61 jumps back with the count the loop left: rows 2..6
        // forever, so the song has come back at that jump.
        {"loop_again.xm", [] {
             XmModule m = song16();
             m.patterns[0].at(2, 1) = xmEffect(0xE, 0x60);
             m.patterns[0].at(5, 1) = xmEffect(0xE, 0x62);
             m.patterns[0].at(6, 1) = xmEffect(0xE, 0x61);
             return m;
         }, 15},
        // A jump away from an unfinished loop leaves its count standing; the
        // jump back to the start is still the song coming back.
        {"loop_left.xm", [] {
             XmModule m = song16(2);
             m.patterns[0].at(3, 0) = xmEffect(0xB, 0x01);
             m.patterns[0].at(3, 1) = xmEffect(0xE, 0x62);
             m.patterns[1].at(5, 1) = xmEffect(0xB, 0x00);
             return m;
         }, 4 + 6},
    };
    const uint32_t rowFrames = 6 * 882;
    for (const auto& c : cases) {
        const std::string in = writeModule(c.name, c.make()), out = tempDir() + "/once.wav";
        const ToolRun run = xmtool("render " + in + " " + out);
        ASSERT_EQ(run.exitCode, 0) << c.name << run.err;
        EXPECT_EQ(dataFrames(slurp(out)), c.rows * rowFrames) << c.name;
        EXPECT_NE(run.err.find("real time"), std::string::npos) << c.name;
        EXPECT_EQ(xmtool("render " + in + " -").out, slurp(out)) << c.name;
    }
}

TEST(Xmtool, RenderOptionsSoundLikeAnEditedCopy) {
    const auto withNote = [](XmModule m, uint32_t row, uint32_t channel, XmCell cell) {
        m.patterns[0].at(row, channel) = cell;
        return m;
    };
    const XmModule two = withNote(song16(), 0, 1, xmNote(56, 1));   // both channels play
    const struct { const char* options; XmModule song, copy; } cases[] = {
        {"--start 1", [] { XmModule m = song16(3); m.restart = 1; return m; }(),
         [] { XmModule m = song16(3); m.orders = {1, 2}; return m; }()},
        {"--start 0:8", song16(), withNote(withNote(song16(), 0, 0, {}), 8, 0, xmNote(49, 1))},
        {"--mute 1", two, withNote(two, 0, 0, {})},
        {"--solo 1", two, withNote(two, 0, 1, {})},
    };
    for (const auto& c : cases) {
        const std::string song = writeModule("song.xm", c.song), copy = writeModule("copy.xm", c.copy);
        const ToolRun run = xmtool(std::string("render ") + c.options + " " + song + " -");
        EXPECT_EQ(run.exitCode, 0) << c.options << run.err;
        EXPECT_TRUE(run.out == xmtool("render " + copy + " -").out) << c.options;
    }
}

TEST(Xmtool, BadInputGetsOneErrorLine) {
    const std::string good = writeModule("good.xm", song16()), dir = tempDir();
    std::ofstream(dir + "/not.xm") << "this is not a module\n";
    XmModule huge;
    XmSample s = xmSample8({1});
    s.lengthBytes = 0xF0000000;
    huge.addInstrument(s);
    const std::string hugeFile = writeModule("huge.xm", huge);
    const struct { std::string args, mentions; int exitCode; } cases[] = {
        {"info /nonexistent/song.xm", "xmtool: /nonexistent/song.xm: cannot open", 1},
        {"info " + dir + "/not.xm", "not an XM module", 1},
        {"info " + hugeFile, "sample", 1},
        {"render", "xmtool: ", 1},
        {"render " + good, "xmtool: ", 1},
        {"render --seconds -1 " + good + " " + dir + "/a.wav", "xmtool: ", 1},
        {"render " + dir + "/not.xm " + dir + "/a.wav", "not an XM module", 1},
        {"render " + good + " " + dir + "/no/such/dir/a.wav", "xmtool: ", 1},
        {"render --start 9 " + good + " -", "order 9 is past the song's end (its length is 1)", 1},
        {"render --start 0:16 " + good + " -", "row 16 is past the end of order 0's pattern", 1},
        {"render --start 1:x " + good + " -", "--start needs ORDER or ORDER:ROW", 1},
        {"render " + good + " - --start", "--start needs ORDER or ORDER:ROW", 1},
        {"render --mute 0 " + good + " -", "--mute 0: the song's channels are 1 to 2", 1},
        {"render --solo 3 " + good + " -", "--solo 3: the song's channels are 1 to 2", 1},
        {"render --mute 1, " + good + " -", "--mute needs channel numbers", 1},
        {"frobnicate x.xm", "frobnicate", 2},
        {"info", "", 2},
    };
    for (const auto& c : cases) {
        const ToolRun run = xmtool(c.args);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.args;
        EXPECT_NE(run.err.find(c.mentions), std::string::npos) << c.args << ": " << run.err;
        EXPECT_TRUE(run.out.empty()) << c.args;
        if (c.exitCode == 1) {
            EXPECT_EQ(run.err.rfind("xmtool: ", 0), 0u) << c.args << ": " << run.err;
            EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << c.args << ": " << run.err;
        }
    }
    const ToolRun help = xmtool("--help");
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("info FILE.xm"), std::string::npos) << help.out;
}

}  // namespace
