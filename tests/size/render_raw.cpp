// Renders a module file offline to raw 16-bit stereo. Built against the
// default player and against the size profile's twin, so that the two
// renders can be compared byte for byte.
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "introplayer.h"

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: render_raw MODULE.xm OUT.raw SECONDS\n");
        return 2;
    }
    std::FILE* in = std::fopen(argv[1], "rb");
    std::vector<char> bytes;
    char chunk[65536];
    for (size_t n; in && (n = std::fread(chunk, 1, sizeof chunk, in)) > 0;)
        bytes.insert(bytes.end(), chunk, chunk + n);
    if (in) std::fclose(in);
    if (bytes.empty() || !renderOpen(bytes.data(), uint32_t(bytes.size()), PlayerSourceMemory))
        return 1;
    std::vector<int16_t> out(2 * 44100 * size_t(std::atoi(argv[3])));
    const uint32_t done = renderFrames(out.data(), uint32_t(out.size() / 2));
    renderClose();
    std::FILE* f = std::fopen(argv[2], "wb");
    const bool ok = f && std::fwrite(out.data(), 4, done, f) == done;
    return f && std::fclose(f) == 0 && ok ? 0 : 1;
}
