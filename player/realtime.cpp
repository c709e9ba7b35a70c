// Real-time playback: the device loops the 16-block ring; every 5 ms the
// refill thread looks where it plays, lets the read-outs follow, takes a
// waiting seek, and renders one more of the blocks ahead of it.
#include "realtime.h"

#include <atomic>
#include <cstring>

#include "module.h"
#include "platform.h"
#include "song.h"

namespace introplayer {

namespace {

const AudioDevice platformAudioDevice = {
    audioDeviceOpen,  audioDeviceStartLoop, audioDevicePosition,    audioDevicePause,
    audioDeviceResume, audioDeviceClose,    audioDeviceRingWritten,
};

constexpr uint32_t RingBytes = RingFrames * 4;   // 65,536
constexpr uint32_t RefillSleepMs = 5;

// The whole real-time output: device, thread. One player per process.
struct Playback {
    const AudioDevice* device;       // the device of the running start
    const AudioDevice* nextDevice;   // what the next start uses (null: platform)
    bool deviceOpen;
    PlatformThread refillThreadHandle;
    std::atomic<int32_t> stopRequest;
};

Playback playback;

constexpr int32_t SeekFadeFrames = 256;

// The start of the block a seek mixes again, as it was before, for the
// crossing from the old sound to the new. Each start sets the block to -1
// (none); a zeroed record needs no code at program start.
struct SeekCrossfade {
    int32_t block;
    int16_t old[SeekFadeFrames * 2];
};
SeekCrossfade crossfade;

void crossFadeBlock(int32_t block) {
    if (!INTROPLAYER_SEEK || block != crossfade.block)
        return;
    crossfade.block = -1;
    int16_t* out = outputRing + block * BlockFrames * 2;
    for (int32_t i = 0; i < SeekFadeFrames * 2; ++i) {
        const int32_t k = i / 2 + 1;
        out[i] = static_cast<int16_t>((crossfade.old[i] * (SeekFadeFrames - k) + out[i] * k) / SeekFadeFrames);
    }
}

void renderNext() {
    const int32_t block = renderIndex;
    renderBlock();
    crossFadeBlock(block);
    if (playback.device->ringWritten)
        playback.device->ringWritten();
}

// A seek heard as soon as the device allows: the block after the one it
// plays stays (it may have begun), and every block rendered after that is
// mixed again from the new position. The first of them crosses over from
// the old sound it held to the new one, so neither stops with a click.
void takeSeekInRing(int32_t playing) {
    if (!INTROPLAYER_SEEK || pendingSeek.load(std::memory_order_relaxed) == NoSeek)
        return;
    const int32_t from = (playing + 2) & (RingBlocks - 1);
    const int32_t ahead = (renderIndex - playing - 1) & (RingBlocks - 1);   // rendered after the one played
    if (ahead < 2) {   // nothing rendered past the next block: go on from the render head
        takeSeek(-1, 0);
        return;
    }
    std::memcpy(crossfade.old, outputRing + from * BlockFrames * 2, sizeof crossfade.old);
    if (takeSeek(from, 0)) {
        crossfade.block = from;
        renderIndex = from;
    }
}

// Every 5 ms: the read-outs move on to the block the device plays, a seek
// asked for is taken, and one more of the blocks ahead of the device is
// rendered until all of them are.
void refillThread() {
    for (;;) {
        const int32_t playing = static_cast<int32_t>((playback.device->position() >> 12) & 15);
        statsIndex.store(playing, std::memory_order_relaxed);
        describe(playing, 0);
        // No seek goes back before the block after the one that plays.
        if (INTROPLAYER_FOLLOW) {
            const uint64_t heard = blockOutputAt(playing, 2 * BlockFrames);
            settleStrikesBefore(heard < outputFrames ? heard : outputFrames);
        }
        takeSeekInRing(playing);
        if (renderIndex != playing)
            renderNext();
        platformSleep(RefillSleepMs);
        if (playback.stopRequest.load(std::memory_order_relaxed) != 0) return;
    }
}

}  // namespace

void useAudioDevice(const AudioDevice* device) { playback.nextDevice = device; }

bool openDevice() {
    playback.device = playback.nextDevice != nullptr ? playback.nextDevice : &platformAudioDevice;
    if (!playback.device->open()) {
        setLoadError("no audio device could be opened");
        return false;
    }
    playback.deviceOpen = true;
    return true;
}

bool startDevicePlayback() {
    startSongPlayback();
    crossfade.block = -1;
    for (int32_t block = 0; block < RingBlocks; ++block) renderBlock();   // back at block 0
    describe(0, 0);
    playback.stopRequest.store(0, std::memory_order_relaxed);
    if (playback.device->ringWritten)
        playback.device->ringWritten();
    playback.device->startLoop(reinterpret_cast<const uint8_t*>(outputRing), RingBytes);
    playback.refillThreadHandle = platformStartThread(refillThread);
    if (playback.refillThreadHandle == 0)
        return false;
    platformRaiseThreadPriority(playback.refillThreadHandle);
    return true;
}

void stopDevicePlayback() {
    if (playback.refillThreadHandle != 0) {
        const PlatformThread thread = playback.refillThreadHandle;
        playback.refillThreadHandle = 0;
        playback.stopRequest.store(1, std::memory_order_relaxed);
        platformJoinThread(thread);   // no render runs past this point
    }
    if (playback.deviceOpen) {
        playback.device->close();
        playback.deviceOpen = false;
    }
}

uint32_t pauseDevice() { return playback.deviceOpen ? playback.device->pause() : 0; }

uint32_t resumeDevice() { return playback.deviceOpen ? playback.device->resume() : 0; }

}  // namespace introplayer
