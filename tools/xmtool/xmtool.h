// The subcommands of xmtool. Each takes the arguments after its own name and
// returns the process exit code; xmtool.cpp dispatches through its table.
#pragma once

int infoCommand(int argc, char** argv);
int renderCommand(int argc, char** argv);
int playCommand(int argc, char** argv);

// Opens FILE for offline rendering (renderOpen). On failure prints
// "xmtool: FILE: what is wrong" on stderr and returns false.
bool loadSongFile(const char* path);
