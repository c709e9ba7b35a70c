// Times the player's start call on the embedded tune with the platform's audio
// device (device, heap, load, sixteen pre-rendered blocks, refill thread), and
// the refill thread's processor time while it plays. With SDL, run it with
// SDL_AUDIODRIVER=dummy where there is no sound card.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <vector>

#include "assets.h"
#include "platform.h"
#include "introplayer.h"
#include "sources.h"

using namespace introplayer;

int main() {
    const uint32_t length = static_cast<uint32_t>(moduleDataEnd - moduleData);
    std::vector<double> startMs;
    for (int run = 0; run < 21; ++run) {
        const auto t0 = std::chrono::steady_clock::now();
        if (playModule(moduleData, length, SourceMemory) == nullptr) {
            std::fprintf(stderr, "player_startup: the player did not start (no audio device?)\n");
            return 1;
        }
        const auto t1 = std::chrono::steady_clock::now();
        startMs.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
        stopPlayback();
    }
    std::sort(startMs.begin(), startMs.end());
    std::printf("playModule on the embedded tune: median %.2f ms, best %.2f ms, worst %.2f ms (21 starts)\n",
                startMs[startMs.size() / 2], startMs.front(), startMs.back());

    // The process's processor time over ten seconds of playback, with the main
    // thread asleep, is the refill thread's (and the device's own).
    playModule(moduleData, length, SourceMemory);
    const std::clock_t c0 = std::clock();
    const auto w0 = std::chrono::steady_clock::now();
    platformSleep(10000);
    const std::clock_t c1 = std::clock();
    const auto w1 = std::chrono::steady_clock::now();
    stopPlayback();
    const double cpu = double(c1 - c0) / CLOCKS_PER_SEC;
    const double wall = std::chrono::duration<double>(w1 - w0).count();
    std::printf("playback: %.3f s of processor time in %.2f s, %.2f%% of one core\n", cpu, wall,
                100.0 * cpu / wall);
    return 0;
}
