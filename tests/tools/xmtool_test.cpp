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

TEST(XmtoolInfo, PrintsTheHeaderFactsAsLoaded) {
    XmModule full;
    full.titleBytes = std::vector<uint8_t>{'M', 'y', 0x01, ' ', 'T', 'u', 'n', 'e', 0xFF};
    full.channels = 16;
    full.speed = 4;
    full.restart = 2;
    full.orders = {0, 1, 2, 3, 4, 5, 6, 9};   // names pattern 9: 10 slots
    for (int p = 0; p < 7; p++) full.addPattern(64);
    for (int i = 0; i < 11; i++) full.addInstrument(xmSample8({i, -i}));
    full.instruments[3].samples.push_back(xmSample16({1, 2}));
    full.instruments[1].name = "Bass\x01 line";
    XmModule amiga;
    amiga.title = "Wide";
    amiga.flags = 0;
    amiga.channelWord = 0x0140;   // low byte 64: the player keeps 32
    amiga.channels = 64;
    amiga.orders = {0};
    amiga.addPattern(1);
    const std::pair<XmModule, const char*> cases[] = {
        // 8 orders of 64 rows at 4 ticks of 882 frames, then back at order 2.
        {full, "title: My Tune\nchannels: 16\npatterns: 10\ninstruments: 11\nsamples: 12\n"
               "frequency table: linear\nspeed: 4\ntempo: 125\nsong length: 8\nrestart: 2\n"
               "duration: 0:40.960\ninstrument 1:\ninstrument 2: Bass line\ninstrument 3:\ninstrument 4:\n"
               "instrument 5:\ninstrument 6:\ninstrument 7:\ninstrument 8:\ninstrument 9:\n"
               "instrument 10:\ninstrument 11:\n"},
        {amiga, "title: Wide\nchannels: 32\npatterns: 1\ninstruments: 0\nsamples: 0\n"
                "frequency table: amiga\nspeed: 6\ntempo: 125\nsong length: 1\nrestart: 0\n"
                "duration: 0:00.120\n"},
    };
    for (const auto& [module, expected] : cases) {
        ModuleFile file(writeXm(module));
        ToolRun run = runTool("info " + file.path);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(run.out, expected);
    }
}

TEST(XmtoolInfo, FilesThatDoNotLoadGiveOneLineOnStderr) {
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
