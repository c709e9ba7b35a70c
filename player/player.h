// The player's output side: the 16-block ring of 16-bit stereo frames, the
// float mix area, per-block levels and time stamps, and the block renderer
// that drives the sequencer and the mixer. Real-time start and stop build on
// this; offline rendering uses the very same renderBlock.
#pragma once

#include <atomic>
#include <cstdint>

#include "introplayer.h"   // the outside face: start, stop, read-outs, offline rendering

namespace introplayer {

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

// The song's start state alone (voices, channels, speed, tempo, position,
// global volume, where it has been), for a start and a seek.
void resetSongState();

// Runs the tick that is due, if any, unless the song has ended.
void runDueTick();

// Puts a loaded song into its starting playback state: voices and channels
// cleared, voice k numbered k with step 1, channel i on voice i, default
// speed and tempo, global volume 64, first row at order 0, row 0, play time
// 0, and the output ring and read-outs back at their start; strikes, mute
// and solo cleared. The first tick is due.
void startSongPlayback();

// Plays the song on by at most `frames` frames (at least 1): runs the tick
// that is due, then moves the song's clocks on to the end of the tick or by
// `frames`, whichever comes first. Returns the frames moved on.
int32_t advanceSong(int32_t frames);

// Renders ring block renderIndex: ticks the sequencer and mixes, converts to
// 16-bit with the master volume, records time and level, advances renderIndex.
void renderBlock();

// Converts block k of mixBuffer into block k of outputRing (nearest integer,
// ties to even, clipped, scaled by 16 / masterVolumeDivisor) and returns its
// level word.
uint32_t convertBlock(int32_t block);

// Frames mixed since the song was started (by every render run); the
// offline renderer's clock.
extern uint64_t framesMixed;

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

// playModule, stopPlayback, pausePlayback and resumePlayback are declared in
// introplayer.h. A start releases what ran before; stop releases the refill
// thread, then the device, then the heap, and ends an open offline render.
void endOfflineRender();   // for stopPlayback: the render's own state only

}  // namespace introplayer
