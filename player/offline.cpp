// Offline rendering: the blocks the device would be given, copied out frame
// by frame as the caller asks for them; a skip runs the ticks without
// mixing. The read-outs describe the next frame to be given.
#include "offline.h"

#include <climits>
#include <cstring>

#include "module.h"
#include "song.h"

#if INTROPLAYER_OFFLINE
namespace introplayer {

namespace {

// One offline render at a time; it shares the song with real-time playback.
struct OfflineRender {
    bool open;
    int32_t block;       // ring block being handed out
    int32_t blockLeft;   // frames of it not handed out yet
};

OfflineRender offline;

// The output frame and the song clock of the next frame to be given.
uint64_t nextFrame() {
    return offline.blockLeft > 0 ? blockOutputAt(offline.block, BlockFrames - offline.blockLeft) : outputFrames;
}
uint64_t nextClock() {
    return offline.blockLeft > 0 ? blockClockAt(offline.block, BlockFrames - offline.blockLeft) : song.clockFrames;
}

// The ticks run as the renderer runs them, without mixing, up to where a
// song played once ends.
void skip(uint32_t frames) {
    while (frames > 0 && !song.ended) {
        const int32_t run = frames < INT32_MAX ? static_cast<int32_t>(frames) : INT32_MAX;
        frames -= static_cast<uint32_t>(advanceSong(run));
    }
    runDueTick();
}

// Of `wanted` frames from output frame `from`, those before a song played
// once ends; all of them otherwise.
uint32_t framesBeforeEnd(uint64_t from, uint32_t wanted) {
    if (!song.ended)
        return wanted;
    const uint64_t left = endFrame() > from ? endFrame() - from : 0;
    return left < wanted ? static_cast<uint32_t>(left) : wanted;
}

// A seek waiting from any thread: the rest of the block in hand is dropped.
void takeWaitingSeek() {
    if (!INTROPLAYER_SEEK || pendingSeek.load(std::memory_order_relaxed) == NoSeek)
        return;
    if (takeSeek(offline.blockLeft > 0 ? offline.block : -1, BlockFrames - offline.blockLeft))
        offline.blockLeft = 0;
}

// What the read-outs describe: the next frame, its song time, and the level
// of the last block rendered (0 after a skip, which mixes nothing). The
// entry is the next block's, which rendering it rewrites.
void describeNextFrame() {
    if (offline.blockLeft > 0)
        describe(offline.block, BlockFrames - offline.blockLeft);
    else
        snapshotLive();
    blockStats[renderIndex].timeMs.store(songMs(nextClock()), std::memory_order_relaxed);
    statsIndex.store(renderIndex, std::memory_order_relaxed);
}

}  // namespace

void openOffline() {
    std::memset(&offline, 0, sizeof offline);
    startSongPlayback();
    runDueTick();   // the read-outs describe the first frame from here on
    offline.open = true;
    describeNextFrame();
}

void closeOffline() { offline.open = false; }

bool offlineOpen() { return offline.open; }

uint32_t renderOffline(int16_t* out, uint32_t count) {
    if (!offline.open)
        return 0;
    takeWaitingSeek();
    uint32_t done = 0;
    while (done < count) {
        if (offline.blockLeft == 0) {
            takeWaitingSeek();
            if (out == nullptr) {
                const uint64_t from = outputFrames;
                skip(count - done);
                const uint32_t n = framesBeforeEnd(from, count - done);
                if (song.ended)   // the render head stays at the end
                    outputFrames = from + n;
                done += n;
                blockStats[renderIndex].levels.store(0, std::memory_order_relaxed);
                break;
            }
            offline.block = renderIndex;
            renderBlock();
            offline.blockLeft = BlockFrames;
        }
        const uint32_t left = framesBeforeEnd(nextFrame(), count - done);
        if (left == 0)
            break;
        const uint32_t n = static_cast<uint32_t>(offline.blockLeft) < left ? static_cast<uint32_t>(offline.blockLeft) : left;
        if (out != nullptr) {
            const int32_t from = offline.block * BlockFrames + (BlockFrames - offline.blockLeft);
            std::memcpy(out + 2 * static_cast<size_t>(done), outputRing + 2 * from, n * 4);
        }
        offline.blockLeft -= static_cast<int32_t>(n);
        done += n;
    }
    settleStrikesBefore(nextFrame());
    describeNextFrame();
    return done;
}

}  // namespace introplayer
#endif
