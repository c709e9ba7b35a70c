// xmtool: loads XM modules with the player's own code and reports on them,
// through the player's public interface only.
// Add a subcommand: write its function (one file per command), declare it in
// xmtool.h and add a line to commandTable.
#include "xmtool.h"

#include <cstdio>
#include <cstring>

#include "introplayer.h"

namespace {

struct Command {
    const char* name;
    const char* usage;
    const char* summary;
    const char* options;   // lines below the summary; empty for none
    int (*run)(int argc, char** argv);
};

const Command commandTable[] = {
    {"info", "info FILE.xm", "load the module and print its header facts, duration and instrument names, one per line", "",
     infoCommand},
    {"render", "render [OPTIONS] FILE.xm OUT.wav",
     "render to a 44,100 Hz 16-bit stereo WAV (OUT - for stdout), the song once to its end",
     "    --seconds S          S seconds instead, the song looping\n"
     "    --start ORDER[:ROW]  begin at that order-list entry and row (from 0)\n"
     "    --mute LIST          silence these channels, counted from 1: 2,3\n"
     "    --solo LIST          hear only these channels\n",
     renderCommand},
    {"play", "play FILE.xm",
     "play in real time with the order and row, a level meter and one strike meter per channel (space pause, "
     "+/- volume, q quit)",
     "", playCommand},
};

void printHelp(FILE* out) {
    std::fprintf(out, "usage: xmtool COMMAND [ARGS]\n       xmtool --help\n\ncommands:\n");
    for (const Command& command : commandTable) {
        std::fprintf(out, "  %-38s %s\n%s", command.usage, command.summary, command.options);
    }
}

}  // namespace

bool loadSongFile(const char* path) {
    if (!renderOpen(path, 0, PlayerSourceFile)) {
        std::fprintf(stderr, "xmtool: %s: %s\n", path, getLoadError()[0] ? getLoadError() : "does not load");
        return false;
    }
    return true;
}

int main(int argc, char** argv) {
    if (argc < 2) {
        printHelp(stderr);
        return 2;
    }
    if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        printHelp(stdout);
        return 0;
    }
    for (const Command& command : commandTable) {
        if (std::strcmp(argv[1], command.name) == 0) return command.run(argc - 2, argv + 2);
    }
    std::fprintf(stderr, "xmtool: unknown command '%s' (see xmtool --help)\n", argv[1]);
    return 2;
}
