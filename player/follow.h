// What a program follows the music by: strike tallies, and snapshots of
// the song's moments taken as each block is rendered and published with it,
// so that a read-out describes what is heard. The rendering thread writes,
// any thread reads, no locks.
#pragma once

#include <cstdint>

#include "introplayer.h"   // the records the read-outs fill
#include "mixer.h"         // divide64

namespace introplayer {

// The output's shape, which the read-outs follow block by block.
constexpr int32_t OutputRate = 44100;          // frames per second
constexpr int32_t BlockFrames = 1024;          // frames per block
constexpr int32_t RingBlocks = 16;             // blocks in the ring
constexpr int32_t RingFrames = BlockFrames * RingBlocks;

// Song time in milliseconds: the frames counted exactly, the fraction of
// the last millisecond dropped.
inline uint32_t songMs(uint64_t frames) { return static_cast<uint32_t>(divide64(frames * 1000, OutputRate)); }

#if INTROPLAYER_FOLLOW
// ---- Strikes -------------------------------------------------------------------

// Counts the strikes of the tick that ran last (its first frame is output
// frame `at`, song time `ms`). A seek forgets strikes nobody heard.
void tallyTickStrikes(uint64_t at, uint32_t ms);
// The strikes before output frame `at` are heard and stay; those from
// there on are forgotten (the song goes on elsewhere from `at`).
void forgetStrikesFrom(uint64_t at);
// No seek will go back before output frame `at` any more.
void settleStrikesBefore(uint64_t at);
// Zero strikes, for a new start; nothing is described.
void resetFollow();

// ---- Snapshots -----------------------------------------------------------------

// Snapshots of ring block `block`: the one at its first frame, then one at
// each tick that starts within it (frame = its offset in the block). The
// strikes of instruments are those at the block's end.
void beginBlockSnapshots(int32_t block);
void takeTickSnapshot(int32_t block, int32_t frame);
void endBlockSnapshots(int32_t block);
// The state as it stands, described (offline, between blocks: the next
// frame's).
void snapshotLive();

// Which snapshot the read-outs describe: ring block `block` at `frame`
// frames into it. In real time the refill thread names the block the device
// plays; offline the renderer names the next frame it gives. Nothing is
// described after a stop.
void describe(int32_t block, int32_t frame);
void describeNothing();

// What the described moment says: the position, one channel and one
// instrument's strikes and latest strike time (each where asked for).
// 1 with all of them filled, 0 with none when nothing is described.
int32_t readDescribed(PlayerPosition* position, uint32_t channel, PlayerChannel* out, uint32_t instrument,
                      uint32_t strikes[2]);
#else
// Nothing follows the music: the renderer's calls cost nothing.
inline void tallyTickStrikes(uint64_t, uint32_t) {}
inline void forgetStrikesFrom(uint64_t) {}
inline void settleStrikesBefore(uint64_t) {}
inline void resetFollow() {}
inline void beginBlockSnapshots(int32_t) {}
inline void takeTickSnapshot(int32_t, int32_t) {}
inline void endBlockSnapshots(int32_t) {}
inline void snapshotLive() {}
inline void describe(int32_t, int32_t) {}
inline void describeNothing() {}
#endif

}  // namespace introplayer
