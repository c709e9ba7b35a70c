// Offline rendering through the outside face: the very blocks the device
// would be given, copied into the caller's buffers; where the song comes back
// to a row it has played; and the facts of the loaded song.
#include <cstring>

#include "channel.h"
#include "module.h"
#include "player.h"
#include "sequencer.h"
#include "sources.h"
#include "sync.h"

namespace introplayer {

namespace {

// One offline render at a time; it shares the song with real-time playback.
struct OfflineRender {
    bool open;
    int32_t block;            // ring block being handed out
    int32_t blockLeft;        // frames of it not handed out yet
    uint64_t framesGiven;     // since the start or the last seek
};

OfflineRender offline;

// Where the song has been, in real time and offline alike.
struct SongWatch {
    uint32_t cameBackFrame;   // 0 = the song has not come back yet
    bool inLoopRepeat;
    int32_t lastOrderPos;
    int32_t lastRow;
    bool rowPlayed[256][256];   // by order position and row
    uint32_t loopStateCount;
    uint64_t loopStates[1024];  // rows met inside pattern loops, with every loop's count
};

SongWatch watch;

// A pattern loop that reaches a row with every loop's start and count as
// they were at an earlier visit repeats forever: the song has come back as
// surely as at its end. (A jump back with a count left over from a finished
// loop does that.)
bool loopStateSeen(int32_t orderPos, int32_t row) {
    uint64_t h = 14695981039346656037u;   // FNV-1a, 64-bit
    const auto mix = [&h](uint32_t v) {
        for (int k = 0; k < 4; ++k, v >>= 8)
            h = (h ^ (v & 0xFF)) * 1099511628211u;
    };
    mix(static_cast<uint32_t>(orderPos << 8 | row));
    for (int32_t c = 0; c < channelsInUse(); ++c) {
        mix(static_cast<uint32_t>(channels[c].loopRow));
        mix(static_cast<uint32_t>(channels[c].loopCount));
    }
    for (uint32_t i = 0; i < watch.loopStateCount; ++i)
        if (watch.loopStates[i] == h)
            return true;
    if (watch.loopStateCount < sizeof watch.loopStates / sizeof watch.loopStates[0])
        watch.loopStates[watch.loopStateCount++] = h;
    return false;
}

}  // namespace

// At every row tick. The repeats of a pattern loop, going back within the
// pattern being played, are not the song coming back; a jump elsewhere ends
// that, even when it leaves a loop unfinished.
bool watchRow(int32_t orderPos, int32_t row) {
    if (orderPos < 0 || orderPos > 255 || row < 0 || row > 255)
        return false;
    const bool looping = patternLoopRunning();
    if (orderPos != watch.lastOrderPos || !looping)
        watch.inLoopRepeat = false;
    else if (row <= watch.lastRow)
        watch.inLoopRepeat = true;
    const bool cameBack = watch.rowPlayed[orderPos][row] && (!watch.inLoopRepeat || loopStateSeen(orderPos, row));
    if (cameBack && watch.cameBackFrame == 0) {
        // The row starts after the frames mixed so far; never at frame 0,
        // where the first row is new.
        watch.cameBackFrame = framesMixed > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(framesMixed);
    }
    watch.rowPlayed[orderPos][row] = true;
    watch.lastOrderPos = orderPos;
    watch.lastRow = row;
    return cameBack;
}

void resetWatch() {
    std::memset(&watch, 0, sizeof watch);
    watch.lastOrderPos = -1;
    watch.lastRow = -1;
}

uint32_t cameBackFrame() { return watch.cameBackFrame; }

namespace {

// The ticks run as the renderer runs them, without mixing.
void advanceWithoutMixing(uint32_t frames) {
    while (frames > 0) {
        const int32_t run = frames < INT32_MAX ? static_cast<int32_t>(frames) : INT32_MAX;
        frames -= static_cast<uint32_t>(advanceSong(run));
    }
    runDueTick();
}

// What the read-outs describe: the next frame renderFrames gives.
void describeNextFrame() {
    if (offline.blockLeft > 0)
        describe(offline.block, BlockFrames - offline.blockLeft);
    else
        snapshotLive();
}

// Frames left before a song played once ends; all of them otherwise.
uint32_t framesBeforeEnd(uint32_t wanted) {
    const uint32_t end = cameBackFrame();
    if (!song.ended || end == 0)
        return wanted;
    const uint64_t left = end > offline.framesGiven ? end - offline.framesGiven : 0;
    return left < wanted ? static_cast<uint32_t>(left) : wanted;
}

// The read-outs describe what was just rendered: the song time after it and
// the level of its last block (0 after a skip, which mixes nothing). The
// entry is the next block's, which rendering it rewrites.
void publishReadOuts(bool mixed) {
    const int32_t entry = renderIndex;
    blockStats[entry].timeMs.store(song.playTimeMs, std::memory_order_relaxed);
    if (!mixed) blockStats[entry].levels.store(0, std::memory_order_relaxed);
    statsIndex.store(entry, std::memory_order_relaxed);
}

}  // namespace

void endOfflineRender() {
    if (!offline.open)
        return;
    offline.open = false;
}

}  // namespace introplayer

using namespace introplayer;

int32_t renderOpen(const void* source, uint32_t length, int32_t sourceKind) {
    stopPlayback();
    if (source == nullptr) {
        setLoadError("no module given");
        return 0;
    }
    if (!createPlayerHeap()) {
        setLoadError("cannot create the player heap");
        return 0;
    }
    if (!loadModuleFromSource(sourceKind, source, length)) {
        destroyPlayerHeap();
        return 0;
    }
    std::memset(&offline, 0, sizeof offline);
    startSongPlayback();
    runDueTick();   // the read-outs describe the first frame from here on
    offline.open = true;
    describeNextFrame();
    return 1;
}

uint32_t renderFrames(int16_t* out, uint32_t count) {
    if (!offline.open)
        return 0;
    uint32_t done = 0;
    while (done < count) {
        if (offline.blockLeft == 0) {
            if (out == nullptr) {
                advanceWithoutMixing(count - done);
                const uint32_t n = framesBeforeEnd(count - done);
                offline.framesGiven += n;
                done += n;
                publishReadOuts(false);
                break;
            }
            offline.block = renderIndex;
            renderBlock();
            publishReadOuts(true);
            offline.blockLeft = BlockFrames;
        }
        const uint32_t left = framesBeforeEnd(count - done);
        if (left == 0)
            break;
        const uint32_t n = static_cast<uint32_t>(offline.blockLeft) < left ? static_cast<uint32_t>(offline.blockLeft) : left;
        if (out != nullptr) {
            const int32_t from = offline.block * BlockFrames + (BlockFrames - offline.blockLeft);
            std::memcpy(out + 2 * static_cast<size_t>(done), outputRing + 2 * from, n * 4);
        }
        offline.blockLeft -= static_cast<int32_t>(n);
        offline.framesGiven += n;
        done += n;
    }
    describeNextFrame();
    return done;
}

uint32_t renderCameBack() { return offline.open ? cameBackFrame() : 0; }

int32_t seekPosition(uint32_t order, uint32_t row) {
    const int32_t result = checkSeek(order, row);
    if (result != PlayerSeekDone)
        return result;
    if (!offline.open) {   // the refill thread takes it at its next look
        pendingSeek.store(order << 16 | row, std::memory_order_relaxed);
        return result;
    }
    // The rest of the block in hand is dropped; frames count on from those
    // given, so that the end of a song played once is found anew.
    restartSongAt(static_cast<int32_t>(order), static_cast<int32_t>(row));
    framesMixed = offline.framesGiven;
    offline.blockLeft = 0;
    describeNextFrame();
    return result;
}

void renderClose() {
    if (offline.open)
        stopPlayback();   // nothing plays in real time while a render is open
}

const char* getLoadError() { return moduleLoadError; }

int32_t getSongInfo(PlayerSongInfo* info) {
    if (!songLoaded || info == nullptr)
        return 0;
    PlayerSongInfo facts = {};
    facts.channels = static_cast<uint32_t>(song.channelCount);
    facts.patterns = song.patternSlotCount;
    facts.instruments = song.instrumentCount;
    for (uint32_t i = 0; i < song.instrumentCount; ++i)
        facts.samples += song.instrumentTable[i].sampleCount;
    facts.linearFrequencies = song.flags & 1;
    facts.speed = song.defaultSpeed;
    facts.tempo = song.defaultTempo;
    facts.songLength = song.songLength;
    facts.restart = song.restartPosition;
    *info = facts;
    return 1;
}

const char* getInstrumentName(uint32_t index) {
    if (!songLoaded || index >= song.instrumentCount || song.instrumentTable == nullptr)
        return "";
    return song.instrumentTable[index].name;
}

