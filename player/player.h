// The player's output side: the 16-block ring of 16-bit stereo frames, the
// float mix area, per-block levels and time stamps, and the block renderer
// that drives the sequencer and the mixer. Real-time start and stop build on
// this; offline rendering uses the very same renderBlock.
#pragma once

#include <atomic>
#include <cstdint>

constexpr int32_t OutputRate = 44100;          // frames per second
constexpr int32_t BlockFrames = 1024;          // frames per block
constexpr int32_t RingBlocks = 16;             // blocks in the ring
constexpr int32_t RingFrames = BlockFrames * RingBlocks;

// Per block: the mean absolute sample of the block before it (left in the
// high 16 bits, right in the low), and the song time in milliseconds.
struct BlockStats {
    std::atomic<uint32_t> levels;
    std::atomic<uint32_t> timeMs;
};

extern int16_t outputRing[RingFrames * 2];     // interleaved left, right
extern float mixBuffer[RingFrames * 2];
extern BlockStats blockStats[RingBlocks];
extern int32_t renderIndex;                    // next block to render, 0..15
extern std::atomic<int32_t> statsIndex;        // the entry the read-outs report
extern std::atomic<int32_t> masterVolumeDivisor;  // output scale is 16 / divisor

// Puts a loaded song into its starting playback state: voices and channels
// cleared, voice k numbered k with step 1, channel i on voice i, default
// speed and tempo, global volume 64, first row at order 0, row 0, play time
// 0, and the output ring and read-outs back at their start.
void startSongPlayback();

// Renders ring block renderIndex: ticks the sequencer and mixes, converts to
// 16-bit with the master volume, records time and level, advances renderIndex.
void renderBlock();

// Converts block k of mixBuffer into block k of outputRing (nearest integer,
// ties to even, clipped, scaled by 16 / masterVolumeDivisor) and returns its
// level word.
uint32_t convertBlock(int32_t block);

// 0..64 (larger counts as 64); 0 silences.
void setMasterVolume(uint32_t volume);
uint32_t getLevels();
uint32_t getPlayTime();
const char* getSongTitle();

// ---- Real-time playback ------------------------------------------------------

// The audio device the player drives: the platform's by default. Tests install
// one of their own whose position they drive.
struct AudioDevice {
    bool (*open)();
    void (*startLoop)(const uint8_t* ring, uint32_t bytes);
    uint32_t (*position)();   // bytes played since the loop started
    uint32_t (*pause)();
    uint32_t (*resume)();
    void (*close)();
};
// Installs the device used by the next start; null selects the platform's.
void useAudioDevice(const AudioDevice* device);

// Starts playing a module: source is a memory block (sourceKind 1, length =
// its size), a resource name (sourceKind <= 0, length = the module handle
// that holds it) or a file name (sourceKind >= 2). Stops what played before.
// A null source only stops. Returns non-null while playback runs, null when
// the start failed (no device, no heap, not a module, no thread).
const void* playModule(const void* source, uint32_t length, int32_t sourceKind);
// Stops and releases everything: refill thread, then device, then heap.
// Returns 0; safe when nothing plays.
int32_t stopPlayback();
// Pause and resume the device; 0 and nothing done when nothing plays.
uint32_t pausePlayback();
uint32_t resumePlayback();
