// How far behind the ear the read-outs are in real time: plays the embedded
// tune on the platform's audio device for ten seconds and, every
// millisecond, measures from the start of the block the read-outs describe
// to the frame the device plays. Also how soon a seek is heard. With SDL,
// run it with SDL_AUDIODRIVER=dummy where there is no sound card.
#include <algorithm>
#include <cstdio>
#include <vector>

#include "assets.h"
#include "platform.h"
#include "song.h"

using namespace introplayer;

int main() {
    const uint32_t length = static_cast<uint32_t>(moduleDataEnd - moduleData);
    if (playModule(moduleData, length, PlayerSourceMemory) == nullptr) {
        std::fprintf(stderr, "sync_lag: the player did not start (no audio device?)\n");
        return 1;
    }
    // The device counts bytes played; the read-outs describe block statsIndex.
    std::vector<double> lag;
    for (int poll = 0; poll < 10000; ++poll) {
        platformSleep(1);
        const int32_t described = statsIndex.load();
        const uint32_t frame = audioDevicePosition() / 4 % RingFrames;
        const int32_t behind = (static_cast<int32_t>(frame) - described * BlockFrames + RingFrames) % RingFrames;
        lag.push_back(behind * 1000.0 / OutputRate);
    }
    std::sort(lag.begin(), lag.end());
    std::printf("read-out behind the ear over %zu polls: median %.1f ms, least %.1f ms, most %.1f ms\n",
                lag.size(), lag[lag.size() / 2], lag.front(), lag.back());

    // A seek: from the call until the read-out, which follows the device,
    // describes a block mixed from the new position (row 8 or the next few
    // of the order sought; the rows before it are not played again).
    std::vector<double> heard;
    for (int run = 0; run < 20; ++run) {
        const uint32_t from = audioDevicePosition();
        if (seekPosition(run % 2, 8) != PlayerSeekDone)
            return 1;
        PlayerPosition at{};
        for (int wait = 0; wait < 2000; ++wait) {
            platformSleep(1);
            if (getPosition(&at) && at.order == uint32_t(run % 2) && at.row >= 8 && at.row < 12)
                break;
        }
        heard.push_back(double((audioDevicePosition() - from) / 4) * 1000.0 / 44100.0);
        platformSleep(200);
    }
    std::sort(heard.begin(), heard.end());
    std::printf("seek heard after: median %.1f ms, least %.1f ms, most %.1f ms (20 seeks)\n", heard[heard.size() / 2],
                heard.front(), heard.back());
    stopPlayback();
    return 0;
}
