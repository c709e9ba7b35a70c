// xmtool play: real-time playback through the player's own interface, with
// the title, the play time and a two-channel level meter on one terminal line.
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
constexpr int MeterWidth = 24;

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
int meterLength(uint32_t level) {
    if (level == 0) return 0;
    double db = 20.0 * std::log10(static_cast<double>(level) / 32768.0);
    int n = static_cast<int>((db + 48.0) / 48.0 * MeterWidth + 0.5);
    return n < 0 ? 0 : n > MeterWidth ? MeterWidth : n;
}

void drawBar(char* out, uint32_t level) {
    int n = meterLength(level);
    for (int i = 0; i < MeterWidth; ++i) out[i] = i < n ? '#' : '.';
    out[MeterWidth] = 0;
}

void showStatus(uint32_t volume, bool paused) {
    uint32_t levels = getLevels();
    uint32_t ms = getPlayTime();
    char left[MeterWidth + 1];
    char right[MeterWidth + 1];
    drawBar(left, levels >> 16);
    drawBar(right, levels & 0xFFFF);
    std::printf("\r%3u:%02u.%u  L %s  R %s  vol %2u%s", ms / 60000, ms / 1000 % 60, ms / 100 % 10, left,
                right, volume, paused ? "  paused" : "        ");
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
    std::signal(SIGINT, onInterrupt);
    std::signal(SIGTERM, onInterrupt);

    const bool keys = isTerminal(0);
    const bool meter = isTerminal(1);
    std::printf("%s\n", getSongTitle()[0] ? getSongTitle() : "(untitled)");
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
