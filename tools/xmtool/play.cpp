// xmtool play: real-time playback through the player's own interface, with
// the title and one terminal line of the play time, the order and row, a
// two-channel level meter and a strike meter for each of the song's channels.
// Keys: space pauses and resumes, + and - change the master volume, q or
// Escape quits. Without a terminal on standard input it plays until
// interrupted.
#include <atomic>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "introplayer.h"
#include "xmtool.h"

#if defined(_WIN32)
#include <conio.h>
#include <io.h>
#include <windows.h>
#define isTerminal(fd) (_isatty(fd) != 0)
#else
#include <poll.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>
#define isTerminal(fd) (isatty(fd) != 0)
#endif

namespace {

std::atomic<int> interrupted;

void onInterrupt(int) { interrupted.store(1, std::memory_order_relaxed); }

constexpr uint32_t MeterUpdateMs = 100;
constexpr int MeterWidth = 24;     // the level bars' most
constexpr int LineWidth = 79;      // the status line's most
constexpr int LineFixed = 42;      // the status line less its bars and strike meters
constexpr int StrikeGlow = 3;      // polls a strike meter takes to fade
constexpr uint32_t MostChannels = 32;

// The strike count each channel had at the last poll and how bright its
// meter is.
struct StrikeMeters {
    uint32_t channels;
    uint32_t strikes[MostChannels];
    int glow[MostChannels];
};

StrikeMeters strikeMeters;

// ---- Keyboard --------------------------------------------------------------------

#if defined(_WIN32)
void sleepMs(uint32_t ms) { Sleep(ms); }
void keyboardRaw() {}
void keyboardRestore() {}
// Next key pressed, or -1 when none is waiting.
int pollKey() { return _kbhit() ? _getch() : -1; }
#else
void sleepMs(uint32_t ms) {
    timespec duration{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    nanosleep(&duration, nullptr);
}

termios savedTerminal;
bool terminalSaved;

void keyboardRaw() {
    if (tcgetattr(STDIN_FILENO, &savedTerminal) != 0) return;
    termios raw = savedTerminal;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 0;
    if (tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0) terminalSaved = true;
}

void keyboardRestore() {
    if (terminalSaved) tcsetattr(STDIN_FILENO, TCSANOW, &savedTerminal);
    terminalSaved = false;
}

int pollKey() {
    pollfd in{STDIN_FILENO, POLLIN, 0};
    if (poll(&in, 1, 0) <= 0) return -1;
    unsigned char keys[8];
    ssize_t n = read(STDIN_FILENO, keys, sizeof keys);
    if (n <= 0) return -1;
    // A lone Escape byte is the key; longer sequences starting with it are
    // cursor keys and the like, which mean nothing here.
    if (keys[0] == 27 && n > 1) return -1;
    return keys[0];
}
#endif

// ---- Display ---------------------------------------------------------------------

// Bar length for a mean absolute level (0..32,768), on a 48 dB scale.
int meterLength(uint32_t level, int width) {
    if (level == 0) return 0;
    double db = 20.0 * std::log10(static_cast<double>(level) / 32768.0);
    int n = static_cast<int>((db + 48.0) / 48.0 * width + 0.5);
    return n < 0 ? 0 : n > width ? width : n;
}

void drawBar(char* out, uint32_t level, int width) {
    int n = meterLength(level, width);
    for (int i = 0; i < width; ++i) out[i] = i < n ? '#' : '.';
    out[width] = 0;
}

// One character a channel: lit by a strike seen since the last poll (the
// count moved, however many notes it was), then fading poll by poll.
void drawStrikes(char* out) {
    static const char shades[] = ".-=#";   // by glow, 0 to StrikeGlow
    for (uint32_t c = 0; c < strikeMeters.channels; ++c) {
        PlayerChannel channel = {};
        int& glow = strikeMeters.glow[c];
        if (getChannel(c, &channel) && channel.strikes != strikeMeters.strikes[c]) {
            strikeMeters.strikes[c] = channel.strikes;
            glow = StrikeGlow;
        } else if (glow > 0) {
            --glow;
        }
        out[c] = shades[glow];
    }
    out[strikeMeters.channels] = 0;
}

void showStatus(uint32_t volume, bool paused) {
    uint32_t levels = getLevels();
    uint32_t ms = getPlayTime();
    PlayerPosition position = {};
    getPosition(&position);
    // The level bars give way to the strike meters, so that the line fits.
    int width = (LineWidth - LineFixed - static_cast<int>(strikeMeters.channels)) / 2;
    width = width < 2 ? 2 : width > MeterWidth ? MeterWidth : width;
    char left[MeterWidth + 1];
    char right[MeterWidth + 1];
    char strikes[MostChannels + 1];
    drawBar(left, levels >> 16, width);
    drawBar(right, levels & 0xFFFF, width);
    drawStrikes(strikes);
    std::printf("\r%3u:%02u.%u  %03u:%02u  L %s  R %s  %s  vol %2u%s", ms / 60000, ms / 1000 % 60, ms / 100 % 10,
                position.order, position.row, left, right, strikes, volume, paused ? "  paused" : "        ");
    std::fflush(stdout);
}

}  // namespace

int playCommand(int argc, char** argv) {
    if (argc != 1 || argv[0][0] == '-') {
        std::fprintf(stderr, "usage: xmtool play FILE.xm\n");
        return 1;
    }
    const char* path = argv[0];
    // Load once on its own first, so that a bad file gets its own message and
    // a failed start below can only be the audio device.
    if (!loadSongFile(path)) return 1;

    if (playModule(path, 0, PlayerSourceFile) == nullptr) {
        std::fprintf(stderr, "xmtool: %s: %s\n", path, getLoadError());
        return 1;
    }
    PlayerSongInfo info = {};
    getSongInfo(&info);
    strikeMeters.channels = info.channels < MostChannels ? info.channels : MostChannels;
    std::signal(SIGINT, onInterrupt);
    std::signal(SIGTERM, onInterrupt);

    const bool keys = isTerminal(0);
    const bool meter = isTerminal(1);
    std::printf("%s\n", getSongTitle()[0] ? getSongTitle() : "(untitled)");
    if (meter) std::printf("time, order:row, left and right level, strikes of channel 1 to %u\n", strikeMeters.channels);
    if (keys) std::printf("space: pause  +/-: volume  q or Esc: quit\n");
    std::fflush(stdout);
    if (keys) keyboardRaw();

    uint32_t volume = 64;
    bool paused = false;
    while (interrupted.load(std::memory_order_relaxed) == 0) {
        int key = keys ? pollKey() : -1;
        if (key == 'q' || key == 'Q' || key == 27) break;
        if (key == ' ') {
            paused = !paused;
            if (paused)
                pausePlayback();
            else
                resumePlayback();
        } else if (key == '+' || key == '=') {
            volume = volume + 4 > 64 ? 64 : volume + 4;
            setMasterVolume(volume);
        } else if (key == '-' || key == '_') {
            volume = volume < 4 ? 0 : volume - 4;
            setMasterVolume(volume);
        }
        if (meter) showStatus(volume, paused);
        sleepMs(key >= 0 ? 1 : MeterUpdateMs);
    }
    if (keys) keyboardRestore();
    stopPlayback();
    if (meter) std::printf("\n");
    return 0;
}
