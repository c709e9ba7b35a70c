// The player's outside face: every function of introplayer.h. Starting and
// stopping stand on the song's life and the two drivers, real time and
// offline; the read-outs take what the block renderer published.
#include "introplayer.h"

#include <atomic>

#include "module.h"
#include "offline.h"
#include "platform.h"
#include "realtime.h"
#include "sequencer.h"
#include "song.h"

using namespace introplayer;

namespace {

constexpr int32_t SilentDivisor = 2147483600;   // master volume 0

#if INTROPLAYER_SEEK
int32_t setBit(std::atomic<uint32_t>& mask, uint32_t channel, int32_t on) {
    if (channel >= 32)
        return 0;
    if (on)
        mask.fetch_or(1u << channel, std::memory_order_relaxed);
    else
        mask.fetch_and(~(1u << channel), std::memory_order_relaxed);
    return 1;
}
#endif

}  // namespace

#if INTROPLAYER_NAMED_RESOURCES
int32_t registerModuleResource(const char* name, const void* bytes, uint32_t length) {
    return platformRegisterResource(name, static_cast<const uint8_t*>(bytes), length) ? 1 : 0;
}
#endif

// ---- Real-time playback ----------------------------------------------------------

const void* playModule(const void* source, uint32_t length, int32_t sourceKind) {
    stopPlayback();
    if (source == nullptr) return nullptr;
    if (!openDevice()) return nullptr;
    if (!loadSong(sourceKind, source, length) || !startDevicePlayback()) {
        stopPlayback();
        return nullptr;
    }
    return outputRing;
}

int32_t stopPlayback() {
    stopDevicePlayback();   // the refill thread first, then the device
    closeOffline();
    freeSong();
    return 0;
}

uint32_t pausePlayback() { return pauseDevice(); }

uint32_t resumePlayback() { return resumeDevice(); }

void setMasterVolume(uint32_t volume) {
    const uint32_t v = volume > 64 ? 64 : volume;
    const int32_t d = 64 - static_cast<int32_t>(v);
    masterVolumeDivisor.store(d < 64 ? UnityDivisor + d : SilentDivisor, std::memory_order_relaxed);
}

uint32_t getLevels() {
    return blockStats[statsIndex.load(std::memory_order_relaxed) & (RingBlocks - 1)].levels.load(
        std::memory_order_relaxed);
}

uint32_t getPlayTime() {
    return blockStats[statsIndex.load(std::memory_order_relaxed) & (RingBlocks - 1)].timeMs.load(
        std::memory_order_relaxed);
}

const char* getSongTitle() { return shownSongTitle(); }

// ---- Offline rendering -----------------------------------------------------------
#if INTROPLAYER_OFFLINE

int32_t renderOpen(const void* source, uint32_t length, int32_t sourceKind) {
    stopPlayback();
    if (source == nullptr) {
        setLoadError("no module given");
        return 0;
    }
    if (!loadSong(sourceKind, source, length))
        return 0;
    openOffline();
    return 1;
}

uint32_t renderFrames(int16_t* out, uint32_t count) { return renderOffline(out, count); }

#if INTROPLAYER_END_WATCH
uint32_t renderCameBack() { return offlineOpen() ? passLength() : 0; }
#endif

void renderClose() {
    if (offlineOpen())
        stopPlayback();   // nothing plays in real time while a render is open
}
#endif

// ---- Following the music ---------------------------------------------------------
#if INTROPLAYER_FOLLOW

int32_t getPosition(PlayerPosition* position) {
    return position ? readDescribed(position, 0, nullptr, 0, nullptr) : 0;
}

int32_t getChannel(uint32_t channel, PlayerChannel* out) {
    return out && channel < 32 ? readDescribed(nullptr, channel, out, 0, nullptr) : 0;
}

int32_t getInstrumentStrikes(uint32_t instrument, uint32_t* strikes, uint32_t* lastStrikeMs) {
    uint32_t both[2];
    if (instrument == 0 || instrument > 255 || !strikes || !lastStrikeMs ||
        !readDescribed(nullptr, 0, nullptr, instrument - 1, both))
        return 0;
    *strikes = both[0];
    *lastStrikeMs = both[1];
    return 1;
}
#endif

#if INTROPLAYER_SEEK

int32_t seekPosition(uint32_t order, uint32_t row) {
    const int32_t result = checkSeek(order, row);
    if (result == PlayerSeekDone)   // the renderer takes it at its next block or tick
        pendingSeek.store(order << 16 | row, std::memory_order_relaxed);
    return result;
}

int32_t setChannelMute(uint32_t channel, int32_t muted) { return setBit(muteMask, channel, muted); }

int32_t setChannelSolo(uint32_t channel, int32_t solo) { return setBit(soloMask, channel, solo); }
#endif

#if INTROPLAYER_END_WATCH

void setPlayOnce(int32_t once) { playOnce.store(once ? 1u : 0u, std::memory_order_relaxed); }
#endif

// ---- The loaded song -------------------------------------------------------------

const char* getLoadError() { return moduleLoadError; }

#if INTROPLAYER_FOLLOW
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
#endif
