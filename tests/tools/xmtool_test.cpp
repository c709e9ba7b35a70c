// xmtool as a user runs it: output lines, error lines and exit codes.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "xm_writer.h"

namespace {

struct ToolRun {
    int exitCode;
    std::string out;
    std::string err;
};

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string tempPath(const char* suffix) {
    char name[] = "/tmp/xmtooltestXXXXXX";
    int fd = mkstemp(name);
    close(fd);
    std::remove(name);
    return std::string(name) + suffix;
}

ToolRun runTool(const std::string& arguments) {
    std::string outPath = tempPath(".out"), errPath = tempPath(".err");
    std::string command = std::string(XMTOOL_PATH) + " " + arguments + " >" + outPath + " 2>" + errPath;
    int status = std::system(command.c_str());
    ToolRun run{WIFEXITED(status) ? WEXITSTATUS(status) : -1, readAll(outPath), readAll(errPath)};
    std::remove(outPath.c_str());
    std::remove(errPath.c_str());
    return run;
}

struct ModuleFile {
    std::string path;
    explicit ModuleFile(const std::vector<uint8_t>& bytes) : path(tempPath(".xm")) {
        std::ofstream(path, std::ios::binary).write((const char*)bytes.data(), (std::streamsize)bytes.size());
    }
    ~ModuleFile() { std::remove(path.c_str()); }
};

TEST(XmtoolInfo, PrintsTheHeaderFacts) {
    XmModule m;
    m.titleBytes = std::vector<uint8_t>{'M', 'y', 0x01, ' ', 'T', 'u', 'n', 'e', 0xFF};
    m.channels = 16;
    m.speed = 4;
    m.tempo = 125;
    m.restart = 2;
    m.orders = {0, 1, 2, 3, 4, 5, 6, 9};   // names pattern 9: 10 slots
    for (int p = 0; p < 7; p++) m.addPattern(64);
    for (int i = 0; i < 11; i++) m.addInstrument(xmSample8({i, -i}));
    m.instruments[3].samples.push_back(xmSample16({1, 2}));
    ModuleFile file(writeXm(m));
    ToolRun run = runTool("info " + file.path);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out,
              "title: My Tune\n"
              "channels: 16\n"
              "patterns: 10\n"
              "instruments: 11\n"
              "samples: 12\n"
              "frequency table: linear\n"
              "speed: 4\n"
              "tempo: 125\n"
              "song length: 8\n"
              "restart: 2\n");
}

TEST(XmtoolInfo, AmigaTableAndLimitsAsLoaded) {
    XmModule m;
    m.flags = 0;
    m.channelWord = 0x0140;   // low byte 64: the player keeps 32
    m.channels = 64;
    m.orders = {0};
    m.addPattern(1);
    ModuleFile file(writeXm(m));
    ToolRun run = runTool("info " + file.path);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("channels: 32\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("frequency table: amiga\n"), std::string::npos) << run.out;
}

TEST(XmtoolInfo, FilesThatDoNotLoadGiveOneLineOnStderr) {
    XmModule seventeen;
    XmInstrument& ins = seventeen.addInstrument();
    for (int k = 0; k < 17; k++) ins.samples.push_back(xmSample8({k}));
    ModuleFile tooMany(writeXm(seventeen));
    ModuleFile text(std::vector<uint8_t>{'h', 'e', 'l', 'l', 'o', '\n'});
    XmModule huge;
    XmSample s = xmSample8({1});
    s.lengthBytes = 0xF0000000;
    huge.addInstrument(s);
    ModuleFile hugeFile(writeXm(huge));
    struct Case {
        std::string path;
        const char* mentions;
    };
    const Case cases[] = {
        {"/nonexistent/song.xm", "cannot open"},
        {text.path, "not an XM module"},
        {tooMany.path, "17 samples"},
        {hugeFile.path, "sample"},
    };
    for (const Case& c : cases) {
        ToolRun run = runTool("info " + c.path);
        EXPECT_EQ(run.exitCode, 1) << c.path;
        EXPECT_EQ(run.out, "") << c.path;
        EXPECT_EQ(run.err.find("xmtool: " + c.path + ": "), 0u) << run.err;
        EXPECT_NE(run.err.find(c.mentions), std::string::npos) << run.err;
        ASSERT_FALSE(run.err.empty());
        EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << "one line: " << run.err;
    }
}

TEST(Xmtool, HelpAndUsage) {
    ToolRun help = runTool("--help");
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("info FILE.xm"), std::string::npos) << help.out;
    ToolRun none = runTool("");
    EXPECT_EQ(none.exitCode, 2);
    EXPECT_EQ(none.out, "");
    ToolRun unknown = runTool("frobnicate x.xm");
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_NE(unknown.err.find("frobnicate"), std::string::npos);
    ToolRun missingArgument = runTool("info");
    EXPECT_EQ(missingArgument.exitCode, 2);
}

}  // namespace
