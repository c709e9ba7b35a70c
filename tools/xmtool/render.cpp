// xmtool render [--seconds S] [--start ORDER[:ROW]] [--mute LIST] [--solo LIST]
// FILE.xm OUT.wav: renders the song through the player's offline interface
// (master volume 64) into a 44,100 Hz 16-bit stereo WAV. Without --seconds the
// song plays once and the WAV ends where the song would come back to a row it
// has already played (pattern loops excepted), at most 10 minutes in.
// LIST names channels counted from 1, as trackers show them: 2,3.
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <unistd.h>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "introplayer.h"
#include "xmtool.h"

namespace {

constexpr double LongestSongSeconds = 600.0;
constexpr double LongestRequestSeconds = 6.0 * 3600.0;   // keeps the data size of a WAV below 4 GiB

constexpr uint32_t OutputRate = 44100;   // frames per second
constexpr uint32_t BlockFrames = 1024;   // frames handed over at a time

void put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void put32(std::vector<uint8_t>& out, uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

void putTag(std::vector<uint8_t>& out, const char* tag) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(tag[i]));
}

std::vector<uint8_t> wavHeader(uint32_t frames) {
    const uint32_t dataBytes = frames * 4;
    std::vector<uint8_t> h;
    putTag(h, "RIFF");
    put32(h, 36 + dataBytes);
    putTag(h, "WAVE");
    putTag(h, "fmt ");
    put32(h, 16);
    put16(h, 1);                   // PCM
    put16(h, 2);                   // stereo
    put32(h, OutputRate);
    put32(h, OutputRate * 4);      // bytes per second
    put16(h, 4);                   // block alignment
    put16(h, 16);                  // bits per sample
    putTag(h, "data");
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

// Decimal digits at text up to the first other character (left in *end);
// false without a digit or above 2^32 - 1.
bool parseCount(const char* text, const char** end, uint32_t* value) {
    uint64_t v = 0;
    const char* p = text;
    for (; *p >= '0' && *p <= '9'; ++p) {
        v = v * 10 + uint32_t(*p - '0');
        if (v > 0xFFFFFFFFu) return false;
    }
    *end = p;
    *value = uint32_t(v);
    return p != text;
}

// ORDER or ORDER:ROW.
bool parseStart(const char* text, uint32_t* order, uint32_t* row) {
    const char* end = nullptr;
    if (!parseCount(text, &end, order)) return false;
    *row = 0;
    if (*end == ':' && !parseCount(end + 1, &end, row)) return false;
    return *end == '\0';
}

// Channel numbers separated by commas, as given (checked against the song
// once it is loaded).
bool parseChannels(const char* text, std::vector<uint32_t>* list) {
    const char* end = text;
    do {
        uint32_t channel = 0;
        if (!parseCount(end, &end, &channel)) return false;
        list->push_back(channel);
    } while (*end++ == ',');
    return end[-1] == '\0';
}

// Mutes or solos the listed channels; false, with the message, for one the
// song does not play.
bool setChannels(const char* option, const std::vector<uint32_t>& list, uint32_t played,
                 int32_t (*set)(uint32_t, int32_t)) {
    for (const uint32_t channel : list) {
        if (channel == 0 || channel > played) {
            std::fprintf(stderr, "xmtool: render: %s %u: the song's channels are 1 to %u\n", option, channel, played);
            return false;
        }
        set(channel - 1, 1);
    }
    return true;
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int renderCommand(int argc, char** argv) {
    double seconds = 0.0;
    bool fixedLength = false;
    uint32_t startOrder = 0, startRow = 0;
    std::vector<uint32_t> muted, soloed;
    const char* inPath = nullptr;
    const char* outPath = nullptr;
    for (int i = 0; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        if (std::strcmp(argv[i], "--start") == 0) {
            if (!hasValue || !parseStart(argv[i + 1], &startOrder, &startRow)) {
                std::fprintf(stderr, "xmtool: render: --start needs ORDER or ORDER:ROW, counted from 0\n");
                return 1;
            }
            ++i;
        } else if (std::strcmp(argv[i], "--mute") == 0 || std::strcmp(argv[i], "--solo") == 0) {
            std::vector<uint32_t>* list = std::strcmp(argv[i], "--mute") == 0 ? &muted : &soloed;
            if (!hasValue || !parseChannels(argv[i + 1], list)) {
                std::fprintf(stderr, "xmtool: render: %s needs channel numbers from 1, separated by commas: 2,3\n",
                             argv[i]);
                return 1;
            }
            ++i;
        } else if (std::strcmp(argv[i], "--seconds") == 0) {
            if (!hasValue || !parseSeconds(argv[i + 1], &seconds)) {
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
        std::fprintf(stderr, "xmtool: usage: xmtool render [--seconds S] [--start ORDER[:ROW]] [--mute LIST] "
                             "[--solo LIST] FILE.xm OUT.wav (OUT - for stdout)\n");
        return 1;
    }
    // Played once, renderFrames gives fewer frames than asked at the song's end.
    setPlayOnce(fixedLength ? 0 : 1);
    if (!loadSongFile(inPath))
        return 1;
    PlayerSongInfo info = {};
    getSongInfo(&info);
    const uint32_t played = info.channels < 32 ? info.channels : 32;
    if (!setChannels("--mute", muted, played, setChannelMute) ||
        !setChannels("--solo", soloed, played, setChannelSolo))
        return 1;
    // Without --start a seek to 0:0, where the load put the song already.
    const int32_t seek = seekPosition(startOrder, startRow);
    if (seek == PlayerSeekPastSongEnd) {
        std::fprintf(stderr, "xmtool: render: order %u is past the song's end (its length is %u)\n", startOrder,
                     info.songLength);
        return 1;
    }
    if (seek != PlayerSeekDone) {
        std::fprintf(stderr, "xmtool: render: row %u is past the end of order %u's pattern\n", startRow, startOrder);
        return 1;
    }

    const bool toStdout = std::strcmp(outPath, "-") == 0;
#ifdef _WIN32
    if (toStdout)
        _setmode(_fileno(stdout), _O_BINARY);
#endif
    FILE* out = toStdout ? stdout : std::fopen(outPath, "wb");
    if (!out) {
        std::fprintf(stderr, "xmtool: %s: cannot open for writing: %s\n", outPath, std::strerror(errno));
        return 1;
    }
    const uint64_t frameLimit = static_cast<uint64_t>(
        std::llround((fixedLength ? seconds : LongestSongSeconds) * OutputRate));
    // A file gets its header patched at the end. A pipe cannot seek: with a
    // fixed length the header is known at once, otherwise the song (at most
    // 10 minutes) waits in memory until its length is known.
    const bool holdBack = toStdout && !fixedLength;
    std::vector<uint8_t> pending;
    bool writeFailed = false;
    if (!holdBack) {
        const std::vector<uint8_t> first = wavHeader(static_cast<uint32_t>(toStdout ? frameLimit : 0));
        writeFailed |= std::fwrite(first.data(), 1, first.size(), out) != first.size();
    }

    setMasterVolume(64);

    const bool showProgress = isatty(STDERR_FILENO) != 0;
    const auto started = std::chrono::steady_clock::now();
    double lastProgress = 0.0;
    uint64_t framesDone = 0;
    std::vector<uint8_t> bytes(static_cast<size_t>(BlockFrames) * 4);
    int16_t samples[BlockFrames * 2];
    while (framesDone < frameLimit && !writeFailed) {
        const uint64_t left = frameLimit - framesDone;
        const uint32_t asked = left < uint64_t(BlockFrames) ? uint32_t(left) : uint32_t(BlockFrames);
        const uint32_t frames = renderFrames(samples, asked);
        for (uint32_t i = 0; i < frames * 2; ++i) {
            const uint16_t v = static_cast<uint16_t>(samples[i]);
            bytes[2 * i] = static_cast<uint8_t>(v);
            bytes[2 * i + 1] = static_cast<uint8_t>(v >> 8);
        }
        if (holdBack)
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
        if (frames < asked)   // the song's end
            break;
    }
    renderClose();
    const double wall = secondsSince(started);
    if (showProgress && lastProgress > 0.0)
        std::fprintf(stderr, "\r\033[K");

    const std::vector<uint8_t> header = wavHeader(static_cast<uint32_t>(framesDone));
    if (holdBack) {
        writeFailed |= std::fwrite(header.data(), 1, header.size(), out) != header.size();
        writeFailed |= std::fwrite(pending.data(), 1, pending.size(), out) != pending.size();
        writeFailed |= std::fflush(out) != 0;
    } else if (toStdout) {
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
