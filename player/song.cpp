// The song's life: load and free, the clock, and the rendering of one block
// into the ring with its 16-bit conversion, levels and time stamps.
#include "song.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "channel.h"
#include "effects.h"
#include "mixer.h"
#include "module.h"
#include "sequencer.h"
#include "sources.h"

namespace introplayer {

int16_t outputRing[RingFrames * 2];
float mixBuffer[RingFrames * 2];
BlockStats blockStats[RingBlocks];
int32_t renderIndex;
std::atomic<int32_t> statsIndex;
std::atomic<int32_t> masterVolumeDivisor;
uint64_t outputFrames;
std::atomic<uint32_t> pendingSeek{NoSeek};

namespace {

// Where the song stands in time, beyond the sequencer's own record.
struct SongTimes {
    uint64_t passStart;      // output frame of the start or the last seek
    uint64_t cameBackAt;     // output frame where the song first came back since; 0: not yet
    uint64_t endedAt;        // output frame where a song played once ended
    // Each ring block as rendered: its first output frame, and the song
    // clock at its start and end.
    uint64_t blockOutput[RingBlocks];
    uint64_t blockClockStart[RingBlocks];
    uint64_t blockClockEnd[RingBlocks];
};

SongTimes times;
// Whether anything reads them: the end watch, seeks, the read-outs or
// offline rendering. Without them, nothing keeps them up.
constexpr bool TimesRead = INTROPLAYER_END_WATCH || INTROPLAYER_SEEK || INTROPLAYER_FOLLOW || INTROPLAYER_OFFLINE;

// What a seek may ask for, readable from any thread while the song's
// tables come and go: whether a song is loaded, its length and the rows
// each order entry plays (a pattern of no rows plays its row 0).
struct SeekLimits {
    std::atomic<uint32_t> loaded;
    std::atomic<uint32_t> orders;
    std::atomic<uint32_t> rows[256];
};

SeekLimits seekLimits;

// Nearest integer, ties to even, clipped to the 16-bit range. Clipping first
// keeps the conversion inside the integer range (a NaN clips to the bottom).
int32_t toSample(float value) {
    if (!(value >= -32768.0f))
        return -32768;
    if (value > 32767.0f)
        return 32767;
    return roundToEven(value);
}

uint32_t levelWord(uint32_t sumLeft, uint32_t sumRight) {
    return ((sumLeft / BlockFrames) & 0xFFFF) << 16 | ((sumRight / BlockFrames) & 0xFFFF);
}

#if defined(__SSE2__) && INTROPLAYER_SIMD
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

void publishSeekLimits() {
    for (int32_t o = 0; o < 256; ++o) {
        const int32_t rows = o < song.songLength ? patternAt(o)->rowCount : 0;
        seekLimits.rows[o].store(static_cast<uint32_t>(rows > 0 ? rows : 1), std::memory_order_relaxed);
    }
    seekLimits.orders.store(song.songLength, std::memory_order_relaxed);
    seekLimits.loaded.store(1, std::memory_order_release);
}

}  // namespace

bool loadSong(int32_t sourceKind, const void* source, uint32_t length) {
    std::memset(voices, 0, sizeof voices);
    std::memset(channels, 0, sizeof channels);
    if (!createPlayerHeap()) {
        setLoadError("cannot create the player heap");
        return false;
    }
    if (!loadModuleFromSource(sourceKind, source, length)) {
        destroyPlayerHeap();
        return false;
    }
    if (!prepareWatch()) {
        setLoadError("out of memory for where the song has been");
        forgetSong();
        destroyPlayerHeap();
        return false;
    }
    if (INTROPLAYER_SEEK)
        publishSeekLimits();
    return true;
}

namespace {

void clearBlockStats() {
    statsIndex.store(0, std::memory_order_relaxed);
    for (BlockStats& stats : blockStats) {
        stats.levels.store(0, std::memory_order_relaxed);
        stats.timeMs.store(0, std::memory_order_relaxed);
    }
}

}  // namespace

void freeSong() {
    if (INTROPLAYER_SEEK) {
        seekLimits.loaded.store(0, std::memory_order_relaxed);
        pendingSeek.store(NoSeek, std::memory_order_relaxed);
    }
    clearBlockStats();
    describeNothing();
    forgetWatch();
    forgetSong();
    renderIndex = 0;
    destroyPlayerHeap();
}

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
    song.globalVolumeHeard = 64;
    song.globalVolSlideMem = 0;   // H00 before any H slides by nothing
    song.tickFramesLeft = 0;
    song.tick = 0;
    song.patternDelayTicks = 0;
    song.pendingOrder = 0;
    song.pendingRow = 0;
    song.loopExitRow = 0;
    song.orderPos = 0;
    song.row = 0;
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
    if (INTROPLAYER_END_WATCH) {
        times.passStart = outputFrames;
        times.cameBackAt = 0;
        times.endedAt = 0;
    }
}

void startSongPlayback() {
    outputFrames = 0;
    song.clockFrames = 0;
    if (TimesRead)
        std::memset(&times, 0, sizeof times);
    resetSongState();
    resetFollow();
    if (INTROPLAYER_SEEK) {
        muteMask.store(0, std::memory_order_relaxed);
        soloMask.store(0, std::memory_order_relaxed);
        audibleChannels = 0xFFFFFFFFu;
        pendingSeek.store(NoSeek, std::memory_order_relaxed);
    }
    renderIndex = 0;
    clearBlockStats();
}

void runDueTick() {
    if (song.tickFramesLeft > 0 || song.ended)
        return;
    sequencerTick();
    if (INTROPLAYER_FOLLOW)
        tallyTickStrikes(outputFrames, songMs(song.clockFrames));
    // The row starts at the frames rendered so far: never the first frame of
    // a pass, where every row is new.
    if (INTROPLAYER_END_WATCH && song.cameBack && times.cameBackAt == 0)
        times.cameBackAt = outputFrames;
    if (song.ended)
        times.endedAt = outputFrames;
    // Read after the tick, so a tempo set during it sets its length.
    song.tickFramesLeft = song.tickFrames > 0 ? song.tickFrames : 1;
}

int32_t advanceSong(int32_t frames) {
    runDueTick();
    if (song.ended) {   // played once: the voices ramp out, the clock stands
        outputFrames += static_cast<uint64_t>(frames);
        return frames;
    }
    const int32_t n = song.tickFramesLeft < frames ? song.tickFramesLeft : frames;
    song.tickFramesLeft -= n;
    song.clockFrames += static_cast<uint64_t>(n);
    outputFrames += static_cast<uint64_t>(n);
    return n;
}

void renderBlock() {
    const int32_t block = renderIndex;
    float* mix = mixBuffer + block * BlockFrames * 2;
    std::memset(mix, 0, sizeof(float) * BlockFrames * 2);
    applyMuteAndSolo();
    // Where each block lies in time, for seeks and read-outs into it.
    const bool placed = INTROPLAYER_SEEK || INTROPLAYER_FOLLOW || INTROPLAYER_OFFLINE;
    if (placed) {
        times.blockOutput[block] = outputFrames;
        times.blockClockStart[block] = song.clockFrames;
    }
    beginBlockSnapshots(block);
    int32_t done = 0;
    while (done < BlockFrames) {
        // The voices as the tick left them, mixed over the frames it has.
        if (song.tickFramesLeft <= 0 && !song.ended) {
            runDueTick();
            takeTickSnapshot(block, done);
        }
        const int32_t n = advanceSong(BlockFrames - done);
        mixVoices(mix + done * 2, mix + (done + n) * 2);
        done += n;
    }
    endBlockSnapshots(block);
    if (placed)
        times.blockClockEnd[block] = song.clockFrames;
    // A tick due at the next block's first frame runs now, so that what
    // stands between blocks is that frame's state.
    runDueTick();
    blockStats[block].timeMs.store(songMs(song.clockFrames), std::memory_order_relaxed);

    const uint32_t levels = convertBlock(block);
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
#if defined(__SSE2__) && INTROPLAYER_SIMD
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

uint64_t blockClockAt(int32_t block, int32_t offset) {
    const uint64_t clock = times.blockClockStart[block] + static_cast<uint64_t>(offset);
    return clock < times.blockClockEnd[block] ? clock : times.blockClockEnd[block];
}

uint64_t blockOutputAt(int32_t block, int32_t offset) {
    return times.blockOutput[block] + static_cast<uint64_t>(offset);
}

int32_t checkSeek(uint32_t order, uint32_t row) {
    if (!seekLimits.loaded.load(std::memory_order_acquire))
        return PlayerSeekNothingPlays;
    if (order >= seekLimits.orders.load(std::memory_order_relaxed))
        return PlayerSeekPastSongEnd;
    return row < seekLimits.rows[order].load(std::memory_order_relaxed) ? PlayerSeekDone : PlayerSeekPastPatternEnd;
}

bool takeSeek(int32_t block, int32_t offset) {
    const uint32_t seek = pendingSeek.exchange(NoSeek, std::memory_order_relaxed);
    // Posted against a song that has gone since: dropped.
    if (seek == NoSeek || checkSeek(seek >> 16, seek & 0xFFFF) != PlayerSeekDone)
        return false;
    const uint64_t at = block < 0 ? outputFrames : blockOutputAt(block, offset);
    if (block >= 0)
        song.clockFrames = blockClockAt(block, offset);
    forgetStrikesFrom(at);
    outputFrames = at;
    resetSongState();
    song.pendingOrder = static_cast<int32_t>(seek >> 16);
    song.pendingRow = static_cast<int32_t>(seek & 0xFFFF);
    runDueTick();
    return true;
}

uint32_t passLength() {
    if (times.cameBackAt == 0)
        return 0;
    const uint64_t frames = times.cameBackAt - times.passStart;
    return frames > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(frames);
}

uint64_t endFrame() { return times.endedAt; }

}  // namespace introplayer
