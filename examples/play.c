/* Plays an XM module until Enter is pressed, or renders it once to a WAV file
 * (44,100 Hz, 16-bit stereo), with the installed module player.
 *
 *   play SONG.xm             play -o OUT.wav SONG.xm */
#include <stdio.h>
#include <string.h>

#include <introplayer.h>

static void put32(unsigned char* at, uint32_t v) {
    for (int i = 0; i < 4; i++) at[i] = (unsigned char)(v >> (8 * i));
}

/* The song once (to where it would come back to a row it played), at most
 * 10 minutes. */
static int renderWav(const char* song, const char* wavPath) {
    setPlayOnce(1);   /* renderFrames then gives fewer frames than asked at the end */
    if (!renderOpen(song, 0, PlayerSourceFile)) {
        fprintf(stderr, "%s: %s\n", song, getLoadError());
        return 1;
    }
    FILE* out = fopen(wavPath, "wb");
    if (!out) {
        fprintf(stderr, "%s: cannot open for writing\n", wavPath);
        return 1;
    }
    unsigned char header[44] = "RIFF....WAVEfmt \x10\0\0\0\x01\0\x02\0....\0\0\0\0\x04\0\x10\0data";
    put32(header + 24, 44100);
    put32(header + 28, 44100 * 4);
    fwrite(header, 1, sizeof header, out);
    int16_t block[1024 * 2];   /* little-endian, as the WAV wants it, on x86 */
    uint32_t frames = 0;
    uint32_t asked = 1024, got = 1024;
    while (frames < 600u * 44100 && got == asked) {
        asked = 600u * 44100 - frames < 1024 ? 600u * 44100 - frames : 1024;
        got = renderFrames(block, asked);
        fwrite(block, 4, got, out);
        frames += got;
    }
    renderClose();
    put32(header + 4, 36 + frames * 4);
    put32(header + 40, frames * 4);
    fseek(out, 0, SEEK_SET);
    fwrite(header, 1, sizeof header, out);
    return fclose(out) == 0 ? 0 : 1;
}

int main(int argc, char** argv) {
    if (argc == 4 && strcmp(argv[1], "-o") == 0) return renderWav(argv[3], argv[2]);
    if (argc != 2) {
        fprintf(stderr, "usage: play SONG.xm | play -o OUT.wav SONG.xm\n");
        return 2;
    }
    if (!playModule(argv[1], 0, PlayerSourceFile)) {
        fprintf(stderr, "%s: %s\n", argv[1], getLoadError());
        return 1;
    }
    printf("%s: playing; Enter stops\n", getSongTitle());
    getchar();
    stopPlayback();
    return 0;
}
