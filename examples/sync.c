/* Follows an XM module as it is heard, with the installed module player:
 * plays it once and prints a line for each row, its order and row and the
 * channels (counted from 1) that struck a note on it. --offline prints the
 * same lines from an offline render, without a device, as fast as it goes.
 *
 *   sync SONG.xm             sync --offline SONG.xm
 *
 * The read-outs move on a device block (1,024 frames) at a time, so the
 * offline run looks at them once per 1,024 frames rendered: it then sees
 * what the real-time run sees, and both print the same lines. */
#if defined(_WIN32)
#include <windows.h>
#else
#define _POSIX_C_SOURCE 199309L
#include <time.h>
#endif
#include <stdio.h>
#include <string.h>

#include <introplayer.h>

#define BLOCK_FRAMES 1024

/* The row being heard and what was seen of it so far. */
typedef struct Follower {
    uint32_t channels;      /* of the song, at most 32 */
    uint32_t strikes[32];   /* each channel's strike count at the last look */
    int inRow;              /* 0 before the first row and after the end */
    uint32_t order, row;
    uint32_t struck;        /* channels that struck on the row, a bit each */
} Follower;

static void sleepMs(unsigned ms) {
#if defined(_WIN32)
    Sleep(ms);
#else
    struct timespec t = {0, (long)ms * 1000000L};
    nanosleep(&t, NULL);
#endif
}

static void printRow(const Follower* f) {
    printf("order %u row %u:", (unsigned)f->order, (unsigned)f->row);
    for (uint32_t c = 0; c < f->channels; c++)
        if (f->struck >> c & 1) printf(" %u", (unsigned)c + 1);
    printf("\n");
    fflush(stdout);
}

/* One look at the read-outs. A row's line is printed once the next row is
 * heard, so that the notes of its later ticks (a note delay, a retrigger)
 * are on it too. Returns 0 once the song has ended. */
static int look(Follower* f) {
    PlayerPosition p, again;
    PlayerChannel channel[32];
    /* The position before and after the channels: the same, with its song
     * time, when all of them describe the same block. */
    do {
        if (!getPosition(&p)) return 0;
        for (uint32_t c = 0; c < f->channels; c++)
            if (!getChannel(c, &channel[c])) return 0;
        if (!getPosition(&again)) return 0;
    } while (memcmp(&p, &again, sizeof p) != 0);
    if (f->inRow && (p.ended || p.order != f->order || p.row != f->row)) {
        printRow(f);
        f->inRow = 0;
    }
    if (p.ended) return 0;
    if (!f->inRow) {
        f->inRow = 1;
        f->order = p.order;
        f->row = p.row;
        f->struck = 0;
    }
    for (uint32_t c = 0; c < f->channels; c++) {
        if (channel[c].strikes != f->strikes[c]) f->struck |= 1u << c;
        f->strikes[c] = channel[c].strikes;
    }
    return 1;
}

static void startFollowing(Follower* f) {
    PlayerSongInfo info;
    memset(f, 0, sizeof *f);
    if (getSongInfo(&info)) f->channels = info.channels < 32 ? info.channels : 32;
}

int main(int argc, char** argv) {
    const int offline = argc == 3 && strcmp(argv[1], "--offline") == 0;
    if (argc != 2 && !offline) {
        fprintf(stderr, "usage: sync SONG.xm | sync --offline SONG.xm\n");
        return 2;
    }
    const char* song = argv[argc - 1];
    Follower f;
    setPlayOnce(1);   /* the song ends where it would come back */
    if (offline) {
        static int16_t block[BLOCK_FRAMES * 2];
        if (!renderOpen(song, 0, PlayerSourceFile)) {
            fprintf(stderr, "%s: %s\n", song, getLoadError());
            return 1;
        }
        startFollowing(&f);
        while (look(&f) && renderFrames(block, BLOCK_FRAMES) > 0) {
        }
        renderClose();
        return 0;
    }
    if (!playModule(song, 0, PlayerSourceFile)) {
        fprintf(stderr, "%s: %s\n", song, getLoadError());
        return 1;
    }
    startFollowing(&f);
    while (look(&f)) sleepMs(1);
    stopPlayback();
    return 0;
}
