// The subcommands of xmtool. Each takes the arguments after its own name and
// returns the process exit code; xmtool.cpp dispatches through its table.
#pragma once

int infoCommand(int argc, char** argv);
int renderCommand(int argc, char** argv);
int playCommand(int argc, char** argv);

// Loads FILE through the file source into the song model on a fresh player
// heap. On failure prints "xmtool: FILE: what is wrong" on stderr and returns
// false. The heap stays until the process ends or the next load.
bool loadSongFile(const char* path);
