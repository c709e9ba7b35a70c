// The song's life, which the real-time device path and the offline path
// both stand on: loading and freeing it, its clock, the 16-block ring of
// 16-bit stereo frames with the float mix area, per-block levels and time
// stamps, and the block renderer that drives the sequencer and the mixer.
#pragma once

#include <atomic>
#include <cstdint>

#include "follow.h"

namespace introplayer {

// Per block: the mean absolute sample of the block before it (left in the
// high 16 bits, right in the low), and the song time in milliseconds at the
// block's end.
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
constexpr int32_t UnityDivisor = 16;           // master volume 64

// Output frames since the start: where the next frame rendered lands. A
// seek moves it back to where the new sound starts.
extern uint64_t outputFrames;

// Creates the player heap and loads the module into it; on failure nothing
// is left (getLoadError says why). freeSong drops the song with its heap and
// the read-outs; harmless when nothing is loaded.
bool loadSong(int32_t sourceKind, const void* source, uint32_t length);
void freeSong();

// The song's start state alone (voices, channels, speed, tempo, position,
// global volume, where it has been), for a start and a seek.
void resetSongState();

// Puts a loaded song into its starting playback state: voices and channels
// cleared, voice k numbered k with step 1, channel i on voice i, default
// speed and tempo, global volume 64, first row at order 0, row 0, clock 0,
// and the output ring and read-outs back at their start; strikes, mute,
// solo and a waiting seek cleared. The first tick is due.
void startSongPlayback();

// Runs the tick that is due, if any, unless the song has ended.
void runDueTick();

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

// The song clock (frames) at `offset` frames into ring block `block` as it
// was rendered, and the output frame there.
uint64_t blockClockAt(int32_t block, int32_t offset);
uint64_t blockOutputAt(int32_t block, int32_t offset);

// A seek waiting for the rendering thread: order << 16 | row, or NoSeek.
// Any thread posts one; the renderer takes it (takeSeek) at its next block
// or tick and checks it against the song it plays then.
constexpr uint32_t NoSeek = 0xFFFFFFFFu;
extern std::atomic<uint32_t> pendingSeek;
// The seek's validity against the loaded song, from any thread (the song's
// tables are not touched): PlayerSeekDone or the refusal.
int32_t checkSeek(uint32_t order, uint32_t row);
// Takes the waiting seek, if any: goes on from there as a start there would
// (fresh channels and voices, the default speed and tempo), the new sound
// starting at `offset` frames into ring block `block` (block -1: at the
// render head). Song time goes on from what was heard up to there, strikes
// after it are forgotten, and a pass is measured from there. True when it
// took one.
bool takeSeek(int32_t block, int32_t offset);

// Frames from the start or the last seek to where the song first came back
// (the length of one pass), 0 until it does; and the output frame at which
// a song played once ended.
uint32_t passLength();
uint64_t endFrame();

}  // namespace introplayer
