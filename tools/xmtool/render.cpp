// xmtool render [--seconds S] FILE.xm OUT.wav: renders the song through the
// player's own block renderer (master volume 64) into a 44,100 Hz 16-bit
// stereo WAV. Without --seconds the song plays once: until it comes back to a
// row it has already played (pattern loops excepted), at most 10 minutes.
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <unistd.h>

#include "channel.h"
#include "module.h"
#include "player.h"
#include "sequencer.h"
#include "xmtool.h"

namespace {

constexpr double LongestSongSeconds = 600.0;
constexpr double LongestRequestSeconds = 24.0 * 3600.0;

// Rows played so far, by order position and row; and whether the song has
// come back to one of them outside a pattern loop.
bool rowPlayed[256][256];
bool songCameBack;

bool patternLoopRunning() {
    for (int32_t c = 0; c < song.channelCount && c < ChannelCountMax; ++c)
        if (channels[c].loopCount != 0)
            return true;
    return false;
}

void noteRow(int32_t orderPos, int32_t row) {
    if (orderPos < 0 || orderPos > 255 || row < 0 || row > 255)
        return;
    if (rowPlayed[orderPos][row] && !patternLoopRunning())
        songCameBack = true;
    rowPlayed[orderPos][row] = true;
}

void put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void put32(std::vector<uint8_t>& out, uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

std::vector<uint8_t> wavHeader(uint32_t frames) {
    const uint32_t dataBytes = frames * 4;
    std::vector<uint8_t> h;
    const char* riff = "RIFF";
    h.insert(h.end(), riff, riff + 4);
    put32(h, 36 + dataBytes);
    const char* wave = "WAVEfmt ";
    h.insert(h.end(), wave, wave + 8);
    put32(h, 16);
    put16(h, 1);                   // PCM
    put16(h, 2);                   // stereo
    put32(h, OutputRate);
    put32(h, OutputRate * 4);      // bytes per second
    put16(h, 4);                   // block alignment
    put16(h, 16);                  // bits per sample
    const char* data = "data";
    h.insert(h.end(), data, data + 4);
    put32(h, dataBytes);
    return h;
}

bool parseSeconds(const char* text, double* seconds) {
    char* end = nullptr;
    const double value = std::strtod(text, &end);
    if (end == text || *end != '\0' || !std::isfinite(value) || value <= 0.0 ||
        value > LongestRequestSeconds)
        return false;
    *seconds = value;
    return true;
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int renderCommand(int argc, char** argv) {
    double seconds = 0.0;
    bool fixedLength = false;
    const char* inPath = nullptr;
    const char* outPath = nullptr;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--seconds") == 0) {
            if (i + 1 >= argc || !parseSeconds(argv[i + 1], &seconds)) {
                std::fprintf(stderr, "xmtool: render: --seconds needs a number of seconds above 0 and at most %.0f\n",
                             LongestRequestSeconds);
                return 1;
            }
            fixedLength = true;
            ++i;
        } else if (!inPath) {
            inPath = argv[i];
        } else if (!outPath) {
            outPath = argv[i];
        } else {
            inPath = nullptr;
            break;
        }
    }
    if (!inPath || !outPath) {
        std::fprintf(stderr, "xmtool: usage: xmtool render [--seconds S] FILE.xm OUT.wav (OUT - for stdout)\n");
        return 1;
    }
    if (!loadSongFile(inPath))
        return 1;

    const bool toStdout = std::strcmp(outPath, "-") == 0;
    FILE* out = toStdout ? stdout : std::fopen(outPath, "wb");
    if (!out) {
        std::fprintf(stderr, "xmtool: %s: cannot open for writing: %s\n", outPath, std::strerror(errno));
        return 1;
    }
    // A file gets its header patched at the end; a pipe cannot seek, so the
    // samples wait in memory until the length is known.
    std::vector<uint8_t> pending;
    bool writeFailed = false;
    if (!toStdout) {
        const std::vector<uint8_t> placeholder = wavHeader(0);
        writeFailed |= std::fwrite(placeholder.data(), 1, placeholder.size(), out) != placeholder.size();
    }

    std::memset(rowPlayed, 0, sizeof rowPlayed);
    songCameBack = false;
    rowStarted = noteRow;
    setMasterVolume(64);
    startSongPlayback();

    const uint64_t frameLimit = static_cast<uint64_t>(
        std::llround((fixedLength ? seconds : LongestSongSeconds) * OutputRate));
    const bool showProgress = isatty(STDERR_FILENO) != 0;
    const auto started = std::chrono::steady_clock::now();
    double lastProgress = 0.0;
    uint64_t framesDone = 0;
    std::vector<uint8_t> bytes(static_cast<size_t>(BlockFrames) * 4);
    while (framesDone < frameLimit && !writeFailed) {
        const int32_t block = renderIndex;
        renderBlock();
        const uint64_t left = frameLimit - framesDone;
        const uint32_t frames = left < uint64_t(BlockFrames) ? uint32_t(left) : uint32_t(BlockFrames);
        const int16_t* samples = outputRing + block * BlockFrames * 2;
        for (uint32_t i = 0; i < frames * 2; ++i) {
            const uint16_t v = static_cast<uint16_t>(samples[i]);
            bytes[2 * i] = static_cast<uint8_t>(v);
            bytes[2 * i + 1] = static_cast<uint8_t>(v >> 8);
        }
        if (toStdout)
            pending.insert(pending.end(), bytes.begin(), bytes.begin() + frames * 4);
        else
            writeFailed |= std::fwrite(bytes.data(), 1, frames * 4, out) != frames * 4;
        framesDone += frames;
        const double elapsed = secondsSince(started);
        if (showProgress && elapsed > 1.0 && elapsed - lastProgress >= 0.25) {
            std::fprintf(stderr, "\rxmtool: rendering %s: %.1f s of audio", inPath,
                         double(framesDone) / OutputRate);
            lastProgress = elapsed;
        }
        // The block where the song comes back is kept whole: its start is
        // still the first pass.
        if (!fixedLength && songCameBack)
            break;
    }
    rowStarted = nullptr;
    const double wall = secondsSince(started);
    if (showProgress && lastProgress > 0.0)
        std::fprintf(stderr, "\r\033[K");

    const std::vector<uint8_t> header = wavHeader(static_cast<uint32_t>(framesDone));
    if (toStdout) {
        writeFailed |= std::fwrite(header.data(), 1, header.size(), out) != header.size();
        writeFailed |= std::fwrite(pending.data(), 1, pending.size(), out) != pending.size();
        writeFailed |= std::fflush(out) != 0;
    } else {
        writeFailed |= std::fseek(out, 0, SEEK_SET) != 0;
        writeFailed |= std::fwrite(header.data(), 1, header.size(), out) != header.size();
        writeFailed |= std::fclose(out) != 0;
    }
    if (writeFailed) {
        std::fprintf(stderr, "xmtool: %s: write failed\n", toStdout ? "standard output" : outPath);
        return 1;
    }
    const double audio = double(framesDone) / OutputRate;
    std::fprintf(stderr, "xmtool: rendered %.2f s of audio in %.3f s (%.1fx real time)\n", audio, wall,
                 wall > 0.0 ? audio / wall : 0.0);
    return 0;
}
