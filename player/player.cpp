// Output side of the player: block rendering into the ring, the 16-bit
// conversion with the master volume, and the level and time read-outs.
#include "player.h"

#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "channel.h"
#include "mixer.h"
#include "module.h"
#include "platform.h"
#include "sequencer.h"
#include "sources.h"
#include "sync.h"

namespace introplayer {

int16_t outputRing[RingFrames * 2];
float mixBuffer[RingFrames * 2];
BlockStats blockStats[RingBlocks];
int32_t renderIndex;
std::atomic<int32_t> statsIndex;
std::atomic<int32_t> masterVolumeDivisor;
uint64_t framesMixed;

namespace {

constexpr int32_t UnityDivisor = 16;
constexpr int32_t SilentDivisor = 2147483600;   // master volume 0

// Nearest integer, ties to even, clipped to the 16-bit range. Clipping first
// keeps the conversion inside the integer range (a NaN clips to the bottom).
int32_t toSample(float value) {
    if (!(value >= -32768.0f))
        return -32768;
    if (value > 32767.0f)
        return 32767;
    return static_cast<int32_t>(std::nearbyint(value));
}

uint32_t levelWord(uint32_t sumLeft, uint32_t sumRight) {
    return ((sumLeft / BlockFrames) & 0xFFFF) << 16 | ((sumRight / BlockFrames) & 0xFFFF);
}

#if defined(__SSE2__)
// The conversion at unity volume, four samples at a time, with the same
// results as toSample: clip first (a NaN becomes -32,768), then round to
// nearest with ties to even (the default rounding mode, as nearbyint uses).
uint32_t convertUnity(const float* mix, int16_t* out) {
    const __m128 low = _mm_set1_ps(-32768.0f);
    const __m128 high = _mm_set1_ps(32767.0f);
    __m128i sums = _mm_setzero_si128();   // lanes: left, right, left, right
    for (int32_t i = 0; i < BlockFrames * 2; i += 8) {
        // maxps returns its second operand for a NaN, so NaN clips to -32,768.
        const __m128 a = _mm_min_ps(_mm_max_ps(_mm_loadu_ps(mix + i), low), high);
        const __m128 b = _mm_min_ps(_mm_max_ps(_mm_loadu_ps(mix + i + 4), low), high);
        const __m128i ia = _mm_cvtps_epi32(a);
        const __m128i ib = _mm_cvtps_epi32(b);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_packs_epi32(ia, ib));
        const __m128i signA = _mm_srai_epi32(ia, 31);
        const __m128i signB = _mm_srai_epi32(ib, 31);
        sums = _mm_add_epi32(sums, _mm_sub_epi32(_mm_xor_si128(ia, signA), signA));
        sums = _mm_add_epi32(sums, _mm_sub_epi32(_mm_xor_si128(ib, signB), signB));
    }
    uint32_t lanes[4];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(lanes), sums);
    return levelWord(lanes[0] + lanes[2], lanes[1] + lanes[3]);
}
#endif

constexpr int32_t SeekFadeFrames = 256;

// The start of the block a seek mixes again, as it was before, for the
// crossing from the old sound to the new.
struct SeekCrossfade {
    int32_t block = -1;
    int16_t old[SeekFadeFrames * 2];
};
SeekCrossfade crossfade;

void crossFadeBlock(int32_t block) {
    if (block != crossfade.block)
        return;
    crossfade.block = -1;
    int16_t* out = outputRing + block * BlockFrames * 2;
    for (int32_t i = 0; i < SeekFadeFrames * 2; ++i) {
        const int32_t k = i / 2 + 1;
        out[i] = static_cast<int16_t>((crossfade.old[i] * (SeekFadeFrames - k) + out[i] * k) / SeekFadeFrames);
    }
}

}  // namespace

void resetSongState() {
    std::memset(voices, 0, sizeof voices);
    std::memset(channels, 0, sizeof channels);
    if (masterVolumeDivisor.load(std::memory_order_relaxed) == 0)
        masterVolumeDivisor.store(UnityDivisor, std::memory_order_relaxed);
    for (int32_t k = 0; k < VoiceCount; ++k) {
        voices[k].voiceIndex = static_cast<uint32_t>(k);
        voices[k].stepInt = 1;
    }
    song.speed = song.defaultSpeed;
    song.globalVolume = 64;
    song.globalVolSlideMem = 0;   // H00 before any H slides by nothing
    song.tickFramesLeft = 0;
    song.tick = 0;
    song.patternDelayTicks = 0;
    song.pendingOrder = 0;
    song.pendingRow = 0;
    song.orderPos = 0;
    song.row = 0;
    song.playTimeMs = 0;
    framesMixed = 0;
    const int32_t count = channelsInUse();
    // No instrument yet: a note before the first instrument number plays
    // nothing.
    for (int32_t i = 0; i < count; ++i) {
        channels[i].voice = &voices[i];
        channels[i].instrumentIndex = NoInstrument;
    }
    setTempo(song.defaultTempo);
    song.ended = false;
    resetWatch();
}

void startSongPlayback() {
    resetSongState();
    resetSync();
    crossfade.block = -1;
    renderIndex = 0;
    statsIndex.store(0, std::memory_order_relaxed);
    for (BlockStats& stats : blockStats) {
        stats.levels.store(0, std::memory_order_relaxed);
        stats.timeMs.store(0, std::memory_order_relaxed);
    }
}

void runDueTick() {
    if (song.tickFramesLeft > 0 || song.ended)
        return;
    sequencerTick();
    // Read after the tick, so a tempo set during it sets its length.
    song.tickFramesLeft = song.tickFrames > 0 ? song.tickFrames : 1;
}

int32_t advanceSong(int32_t frames) {
    runDueTick();
    if (song.ended) {   // played once: the voices ramp out, the time stands
        framesMixed += static_cast<uint64_t>(frames);
        return frames;
    }
    const int32_t n = song.tickFramesLeft < frames ? song.tickFramesLeft : frames;
    // The fraction is dropped run by run: a whole block in one run adds 23.
    song.playTimeMs += static_cast<uint32_t>(n) * 20u / 882u;
    song.tickFramesLeft -= n;
    framesMixed += static_cast<uint64_t>(n);
    return n;
}

void renderBlock() {
    const int32_t block = renderIndex;
    float* mix = mixBuffer + block * BlockFrames * 2;
    std::memset(mix, 0, sizeof(float) * BlockFrames * 2);
    applyMuteAndSolo();
    beginBlockSnapshots(block);
    int32_t done = 0;
    while (done < BlockFrames) {
        // The voices as the tick left them, mixed over the frames it has.
        const bool tickDue = song.tickFramesLeft <= 0 && !song.ended;
        const int32_t n = advanceSong(BlockFrames - done);
        if (tickDue)
            takeTickSnapshot(block, done);
        mixVoices(mix + done * 2, mix + (done + n) * 2);
        done += n;
    }
    endBlockSnapshots(block);
    // A tick due at the next block's first frame runs now, so that what
    // stands between blocks is that frame's state.
    runDueTick();
    blockStats[block].timeMs.store(song.playTimeMs, std::memory_order_relaxed);

    const uint32_t levels = convertBlock(block);
    crossFadeBlock(block);
    renderIndex = (block + 1) % RingBlocks;
    // The level lands in the entry after the block's own time stamp.
    blockStats[renderIndex].levels.store(levels, std::memory_order_relaxed);
}

uint32_t convertBlock(int32_t block) {
    int32_t divisor = masterVolumeDivisor.load(std::memory_order_relaxed);
    if (divisor <= 0)
        divisor = UnityDivisor;
    const float* mix = mixBuffer + block * BlockFrames * 2;
    int16_t* out = outputRing + block * BlockFrames * 2;
#if defined(__SSE2__)
    if (divisor == UnityDivisor)
        return convertUnity(mix, out);
#endif
    uint32_t sumLeft = 0;
    uint32_t sumRight = 0;
    for (int32_t i = 0; i < BlockFrames * 2; i += 2) {
        const int32_t l = toSample(mix[i]) * 16 / divisor;
        const int32_t r = toSample(mix[i + 1]) * 16 / divisor;
        out[i] = static_cast<int16_t>(l);
        out[i + 1] = static_cast<int16_t>(r);
        sumLeft += static_cast<uint32_t>(l < 0 ? -l : l);
        sumRight += static_cast<uint32_t>(r < 0 ? -r : r);
    }
    return levelWord(sumLeft, sumRight);
}

// ---- Real-time playback ------------------------------------------------------

namespace {

const AudioDevice platformAudioDevice = {
    audioDeviceOpen,  audioDeviceStartLoop, audioDevicePosition,
    audioDevicePause, audioDeviceResume,    audioDeviceClose,
};

constexpr uint32_t RingBytes = RingFrames * 4;   // 65,536
constexpr uint32_t RefillSleepMs = 5;

// The whole real-time output: device, thread, heap. One player per process.
struct Playback {
    const AudioDevice* device;       // the device of the running start
    const AudioDevice* nextDevice;   // what the next start uses (null: platform)
    bool deviceOpen;
    PlatformThread refillThreadHandle;
    std::atomic<int32_t> stopRequest;
};

Playback playback;

// A seek heard as soon as the device allows: the block after the one it
// plays stays (it may have begun), and every block after that is mixed
// again from the new position. The first of them crosses over from the old
// sound it held to the new one, so neither stops with a click.
void seekInRing(int32_t playing, uint32_t seek) {
    renderIndex = (playing + 2) & (RingBlocks - 1);
    std::memcpy(crossfade.old, outputRing + renderIndex * BlockFrames * 2, sizeof crossfade.old);
    crossfade.block = renderIndex;
    restartSongAt(static_cast<int32_t>(seek >> 16), static_cast<int32_t>(seek & 0xFFFF));
}

// Every 5 ms: the read-outs move on to the block the device plays, a seek
// asked for is taken, and one more of the blocks ahead of the device is
// rendered until all of them are.
void refillThread(void*) {
    for (;;) {
        const int32_t playing = static_cast<int32_t>((playback.device->position() >> 12) & 15);
        statsIndex.store(playing, std::memory_order_relaxed);
        describe(playing, 0);
        const uint32_t seek = pendingSeek.exchange(NoSeek, std::memory_order_relaxed);
        if (seek != NoSeek)
            seekInRing(playing, seek);
        if (renderIndex != playing)
            renderBlock();
        platformSleep(RefillSleepMs);
        if (playback.stopRequest.load(std::memory_order_relaxed) != 0) return;
    }
}

}  // namespace

void useAudioDevice(const AudioDevice* device) { playback.nextDevice = device; }

}  // namespace introplayer

// ---- The outside face ----------------------------------------------------------

using namespace introplayer;

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

const void* playModule(const void* source, uint32_t length, int32_t sourceKind) {
    stopPlayback();
    if (source == nullptr) return nullptr;

    playback.device = playback.nextDevice != nullptr ? playback.nextDevice : &platformAudioDevice;
    if (!playback.device->open()) {
        setLoadError("no audio device could be opened");
        return nullptr;
    }
    playback.deviceOpen = true;

    std::memset(voices, 0, sizeof voices);
    std::memset(channels, 0, sizeof channels);
    if (!createPlayerHeap()) {
        stopPlayback();
        return nullptr;
    }
    if (!loadModuleFromSource(sourceKind, source, length)) {
        stopPlayback();
        return nullptr;
    }

    startSongPlayback();
    for (int32_t block = 0; block < RingBlocks; ++block) renderBlock();   // back at block 0
    describe(0, 0);
    playback.stopRequest.store(0, std::memory_order_relaxed);
    playback.device->startLoop(reinterpret_cast<const uint8_t*>(outputRing), RingBytes);

    playback.refillThreadHandle = platformStartThread(refillThread, nullptr);
    if (playback.refillThreadHandle == 0) {
        stopPlayback();
        return nullptr;
    }
    platformRaiseThreadPriority(playback.refillThreadHandle);
    return &playback;
}

int32_t stopPlayback() {
    if (playback.refillThreadHandle != 0) {
        const PlatformThread thread = playback.refillThreadHandle;
        playback.refillThreadHandle = 0;
        playback.stopRequest.store(1, std::memory_order_relaxed);
        platformJoinThread(thread);   // no render runs past this point
    }
    statsIndex.store(0, std::memory_order_relaxed);
    for (BlockStats& stats : blockStats) {
        stats.levels.store(0, std::memory_order_relaxed);
        stats.timeMs.store(0, std::memory_order_relaxed);
    }
    describeNothing();
    endOfflineRender();
    forgetSong();
    renderIndex = 0;
    if (playback.deviceOpen) {
        playback.device->close();
        playback.deviceOpen = false;
    }
    destroyPlayerHeap();
    return 0;
}

uint32_t pausePlayback() { return playback.deviceOpen ? playback.device->pause() : 0; }

uint32_t resumePlayback() { return playback.deviceOpen ? playback.device->resume() : 0; }
