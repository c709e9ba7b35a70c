// xmtool render as a program: the song-once length, --seconds, stdout, the
// same samples as renderBlock in process, and one error line for bad input.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include "audio_analysis.h"
#include "player.h"
#include "xm_writer.h"

#ifndef XMTOOL_PATH
#error "XMTOOL_PATH must name the xmtool binary"
#endif

namespace {

struct ToolRun {
    int status;
    std::string out;
    std::string err;
};

std::string tempDir() {
    static char pattern[] = "/tmp/xm_render_tool_XXXXXX";
    static const std::string dir = mkdtemp(pattern) ? pattern : "/tmp";
    return dir;
}

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

ToolRun xmtool(const std::string& args) {
    const std::string out = tempDir() + "/stdout";
    const std::string err = tempDir() + "/stderr";
    const std::string command = std::string(XMTOOL_PATH) + " " + args + " >" + out + " 2>" + err;
    const int raw = std::system(command.c_str());
    return ToolRun{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, slurp(out), slurp(err)};
}

std::string writeModule(const std::string& name, const XmModule& m) {
    const std::string path = tempDir() + "/" + name;
    const std::vector<uint8_t> bytes = writeXm(m);
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                std::streamsize(bytes.size()));
    return path;
}

XmModule song16(uint16_t patterns = 1) {
    XmModule m;
    m.channels = 2;
    m.speed = 6;
    for (uint16_t p = 0; p < patterns; ++p) {
        m.orders.push_back(static_cast<uint8_t>(p));
        m.addPattern(16).at(0, 0) = xmNote(49, 1);
    }
    XmSample s = xmSample8(audio::sineCycle(32, 80));
    s.loop(0, 32, 1);
    m.addInstrument(s);
    return m;
}

uint32_t dataFrames(const std::string& wav) {
    if (wav.size() < 44)
        return 0;
    const auto* b = reinterpret_cast<const uint8_t*>(wav.data());
    return (b[40] | b[41] << 8 | b[42] << 16 | uint32_t(b[43]) << 24) / 4;
}

constexpr uint32_t RowFrames = 6 * 882;

}  // namespace

TEST(RenderTool, SongOnceEndsWhereTheSongComesBack) {
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
    for (const auto& c : cases) {
        const std::string in = writeModule(c.name, c.make());
        const std::string out = tempDir() + "/once.wav";
        const ToolRun run = xmtool("render " + in + " " + out);
        ASSERT_EQ(run.status, 0) << c.name << run.err;
        const uint32_t frames = dataFrames(slurp(out));
        // Whole blocks: the block in which the song comes back is the last.
        EXPECT_GE(frames, c.rows * RowFrames) << c.name;
        EXPECT_LT(frames, c.rows * RowFrames + BlockFrames) << c.name;
        EXPECT_EQ(frames % BlockFrames, 0u) << c.name;
        EXPECT_NE(run.err.find("real time"), std::string::npos) << c.name;
        EXPECT_EQ(xmtool("render " + in + " -").out, slurp(out)) << c.name;
    }
}

TEST(RenderTool, SecondsFileAndStdoutGiveTheSamplesOfRenderBlock) {
    const XmModule m = [] {
        XmModule s = song16();
        s.patterns[0].at(4, 0) = xmCell(56, 1, 0x30, 0x4, 0x46);
        s.patterns[0].at(8, 1) = xmCell(61, 1, 0, 0xA, 0x02);
        return s;
    }();
    const std::string in = writeModule("seconds.xm", m);
    const std::string out = tempDir() + "/seconds.wav";
    ASSERT_EQ(xmtool("render --seconds 0.5 " + in + " " + out).status, 0);
    const std::string file = slurp(out);
    ASSERT_EQ(dataFrames(file), 22050u);
    ASSERT_EQ(file.size(), 44u + 22050u * 4);   // a 44-byte header
    EXPECT_EQ(file.substr(0, 4), "RIFF");
    EXPECT_EQ(file.substr(8, 8), "WAVEfmt ");

    EXPECT_EQ(xmtool("render --seconds 0.5 " + in + " -").out, file);

    // The same module rendered here, block by block.
    ASSERT_TRUE(loadXmBytes(writeXm(m)));
    setMasterVolume(64);
    startSongPlayback();
    std::vector<int16_t> expected;
    while (expected.size() < 22050 * 2) {
        const int32_t block = renderIndex;
        renderBlock();
        expected.insert(expected.end(), outputRing + block * BlockFrames * 2,
                        outputRing + (block + 1) * BlockFrames * 2);
    }
    expected.resize(22050 * 2);
    std::vector<int16_t> got(22050 * 2);
    for (size_t i = 0; i < got.size(); ++i)
        got[i] = static_cast<int16_t>(uint8_t(file[44 + 2 * i]) | uint8_t(file[45 + 2 * i]) << 8);
    EXPECT_EQ(got, expected);
    EXPECT_GT(audio::peak(audio::mono(got), 0, 22050), 1000.0);
}

TEST(RenderTool, BadInputGetsOneErrorLineAndStatusOne) {
    const std::string good = writeModule("good.xm", song16());
    const std::string notXm = tempDir() + "/not.xm";
    std::ofstream(notXm) << "this is not a module\n";
    const std::string cases[] = {
        "render",
        "render " + good,
        "render " + good + " a.wav extra.wav",
        "render --seconds " + good + " a.wav",
        "render --seconds -1 " + good + " " + tempDir() + "/a.wav",
        "render --seconds nan " + good + " " + tempDir() + "/a.wav",
        "render " + tempDir() + "/missing.xm " + tempDir() + "/a.wav",
        "render " + notXm + " " + tempDir() + "/a.wav",
        "render " + good + " " + tempDir() + "/no/such/dir/a.wav",
    };
    for (const std::string& args : cases) {
        const ToolRun run = xmtool(args);
        EXPECT_EQ(run.status, 1) << args;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << args << ": " << run.err;
        EXPECT_EQ(run.err.rfind("xmtool: ", 0), 0u) << args << ": " << run.err;
        EXPECT_TRUE(run.out.empty()) << args;
    }
}
