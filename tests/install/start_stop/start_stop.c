/* All a size-minded program asks of the player: start the module named on
 * the command line (read into memory), let it play a moment, stop it. */
#include <stdio.h>
#include <stdlib.h>

#include <introplayer.h>

int main(int argc, char** argv) {
    static char bytes[1 << 22];
    FILE* in = argc == 2 ? fopen(argv[1], "rb") : NULL;
    size_t length = in ? fread(bytes, 1, sizeof bytes, in) : 0;
    if (in) fclose(in);
    if (!playModule(bytes, (uint32_t)length, PlayerSourceMemory)) {
        fprintf(stderr, "start_stop: the module does not play (%s)\n", getLoadError());
        return 1;
    }
    for (volatile long spin = 0; spin < 50000000L; ++spin) {
    }
    stopPlayback();
    return 0;
}
